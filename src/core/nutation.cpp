#include "core/nutation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <utility>

#include "core/angle_reduction.h"
#include "core/constants.h"
#include "core/double_lanes.h"
#include "core/julian_day.h"
#include "core/sine_cosine.h"

namespace ephemeris {
namespace {

struct NutationTerm {
  std::int32_t nl, nlp, nf, nd, nom;  // multipliers of l, l', F, D, Om
  double ps, pst, pc;                 // longitude: sine, its rate per century, cosine
  double ec, ect, es;                 // obliquity: cosine, its rate per century, sine
};

constexpr NutationTerm kLunisolarTerms[] = {
#include "core/nutation_table.inc"
};
constexpr std::size_t kTermCount = std::size(kLunisolarTerms);
static_assert(kTermCount == 77);

// 0.1 microarcsecond in radians: the unit of the series coefficients.
constexpr double kRadiansPerTenthMicroarcsecond = kRadiansPerArcsecond * 1e-7;
static_assert(kRadiansPerTenthMicroarcsecond == 4.848136811095359e-13);
// Fixed offsets replacing the planetary terms: -0.135 mas in longitude and
// +0.388 mas in obliquity, in radians.
constexpr double kPlanetaryLongitudeOffset = -0.135e-3 * kRadiansPerArcsecond;
constexpr double kPlanetaryObliquityOffset = 0.388e-3 * kRadiansPerArcsecond;
static_assert(kPlanetaryLongitudeOffset == -6.544984694978736e-10);
static_assert(kPlanetaryObliquityOffset == 1.8810770827049994e-9);

// A fundamental argument given in arcseconds, reduced to one turn keeping the
// sign of the unreduced value, in radians.
double fundamental_argument(double arcseconds) {
  return whole_divisor_remainder(arcseconds, kArcsecondsPerTurn) * kRadiansPerArcsecond;
}

// The argument of a term is an integer combination of the five fundamental
// arguments, so its cosine and sine follow from theirs by angle addition:
// one sine and cosine per fundamental argument instead of one per term.
//
// The phase of an angle x is the unit complex number (cos x, sin x); the
// product of two phases is the phase of the sum of their angles.
struct Phase {
  double c;  // cosine
  double s;  // sine
};

Phase operator*(Phase a, Phase b) { return {a.c * b.c - a.s * b.s, a.s * b.c + a.c * b.s}; }

// The fundamental arguments in the order of the table's multiplier columns.
constexpr int kArgumentCount = 5;
using Multipliers = std::array<int, kArgumentCount>;

constexpr Multipliers multipliers(const NutationTerm& term) {
  return {term.nl, term.nlp, term.nf, term.nd, term.nom};
}

// Largest |multiplier| of each argument over the table: 3, 2, 2, 4, 2.
constexpr Multipliers kMaxMultiple = [] {
  Multipliers largest{};
  for (const NutationTerm& term : kLunisolarTerms) {
    const Multipliers n = multipliers(term);
    for (int a = 0; a < kArgumentCount; ++a) largest[a] = std::max(largest[a], n[a] < 0 ? -n[a] : n[a]);
  }
  return largest;
}();

// The phases are stored in one array: first the multiples k x_a of every
// argument a, k from -kMaxMultiple[a] to +kMaxMultiple[a] (argument 0's run
// first), then the products planned below. Index of the multiple k x_a:
constexpr int multiple_index(int a, int k) {
  int index = 0;
  for (int b = 0; b < a; ++b) index += 2 * kMaxMultiple[b] + 1;
  return index + kMaxMultiple[a] + k;
}
constexpr int kMultipleCount = multiple_index(kArgumentCount - 1, kMaxMultiple[kArgumentCount - 1]) + 1;

// A phase formed as the product of two phases stored earlier.
struct Product {
  int lhs;
  int rhs;
};

// Order in which each term's phase is built from its multiples, one argument
// at a time: (F, Om, l, D, l'). Partial products common to several terms are
// formed once; this order shares the most (69 products for the 77 terms,
// against 98 in the table's column order).
constexpr Multipliers kBuildOrder = {2, 4, 0, 3, 1};

struct Plan {
  static constexpr std::size_t kCapacity = kTermCount * (kArgumentCount - 1);
  std::array<Product, kCapacity> products{};
  std::array<Multipliers, kCapacity> product_multipliers{};  // the angle each product stands for
  std::size_t product_count = 0;
  std::array<int, kTermCount> term_phase{};  // index of each term's phase
};

constexpr Plan make_plan() {
  Plan plan;
  for (std::size_t i = 0; i < kTermCount; ++i) {
    const Multipliers n = multipliers(kLunisolarTerms[i]);
    Multipliers partial{};
    int phase = -1;
    for (const int a : kBuildOrder) {
      if (n[a] == 0) continue;
      partial[a] = n[a];
      const int multiple = multiple_index(a, n[a]);
      if (phase < 0) {
        phase = multiple;
        continue;
      }
      std::size_t p = 0;
      while (p < plan.product_count && plan.product_multipliers[p] != partial) ++p;
      if (p == plan.product_count) {
        plan.products[p] = {phase, multiple};
        plan.product_multipliers[p] = partial;
        ++plan.product_count;
      }
      phase = kMultipleCount + static_cast<int>(p);
    }
    plan.term_phase[i] = phase < 0 ? multiple_index(0, 0) : phase;
  }
  return plan;
}

constexpr Plan kPlan = make_plan();
constexpr std::size_t kProductCount = kPlan.product_count;
static_assert(kProductCount == 69);
constexpr std::array<Product, kProductCount> kProducts = [] {
  std::array<Product, kProductCount> products{};
  std::copy_n(kPlan.products.begin(), kProductCount, products.begin());
  return products;
}();
constexpr std::array<int, kTermCount> kTermPhase = kPlan.term_phase;

// The series' coefficients in columns, smallest terms first (the table's
// last row first), padded with zero terms to whole groups of four lanes.
constexpr std::size_t kLanes = 4;
constexpr std::size_t kPaddedTermCount = (kTermCount + kLanes - 1) / kLanes * kLanes;
struct SeriesColumns {
  alignas(32) double ps[kPaddedTermCount], pst[kPaddedTermCount], pc[kPaddedTermCount];
  alignas(32) double ec[kPaddedTermCount], ect[kPaddedTermCount], es[kPaddedTermCount];
};
constexpr SeriesColumns kSeries = [] {
  SeriesColumns columns{};
  for (std::size_t j = 0; j < kTermCount; ++j) {
    const NutationTerm& term = kLunisolarTerms[kTermCount - 1 - j];
    columns.ps[j] = term.ps, columns.pst[j] = term.pst, columns.pc[j] = term.pc;
    columns.ec[j] = term.ec, columns.ect[j] = term.ect, columns.es[j] = term.es;
  }
  return columns;
}();

// The sums of the series in longitude and obliquity, in units of the table,
// given the phases of the terms in the order of kSeries. Term j goes to the
// partial sum j mod 4 (one vector lane each), so that consecutive additions do
// not wait for each other; the four partial sums are added pairwise. The same
// operations in both builds, so the same bits.
[[gnu::always_inline]] inline void series_sums(double t, const double phase_s[], const double phase_c[],
                                               double& longitude_sum, double& obliquity_sum) {
  Double4 longitude = {}, obliquity = {};
  for (std::size_t j = 0; j < kPaddedTermCount; j += kLanes) {
    Double4 s, c, ps, pst, pc, ec, ect, es;  // loaded without alignment assumptions
    __builtin_memcpy(&s, phase_s + j, sizeof s);
    __builtin_memcpy(&c, phase_c + j, sizeof c);
    __builtin_memcpy(&ps, kSeries.ps + j, sizeof ps);
    __builtin_memcpy(&pst, kSeries.pst + j, sizeof pst);
    __builtin_memcpy(&pc, kSeries.pc + j, sizeof pc);
    __builtin_memcpy(&ec, kSeries.ec + j, sizeof ec);
    __builtin_memcpy(&ect, kSeries.ect + j, sizeof ect);
    __builtin_memcpy(&es, kSeries.es + j, sizeof es);
    longitude += (ps + pst * t) * s + pc * c;
    obliquity += (ec + ect * t) * c + es * s;
  }
  longitude_sum = (longitude[0] + longitude[1]) + (longitude[2] + longitude[3]);
  obliquity_sum = (obliquity[0] + obliquity[1]) + (obliquity[2] + obliquity[3]);
}
void series_sums_generic(double t, const double phase_s[], const double phase_c[], double& longitude_sum,
                         double& obliquity_sum) {
  series_sums(t, phase_s, phase_c, longitude_sum, obliquity_sum);
}
[[gnu::target("avx2")]] void series_sums_wide(double t, const double phase_s[], const double phase_c[],
                                              double& longitude_sum, double& obliquity_sum) {
  series_sums(t, phase_s, phase_c, longitude_sum, obliquity_sum);
}

}  // namespace

Nutation nutation_iau2000b(double jd) {
  const double t = julian_centuries_since_j2000(jd);

  // Delaunay arguments (Simon et al. 1994), linear parts only, in the order of
  // the table's multiplier columns.
  const std::array<double, kArgumentCount> arguments = {
      fundamental_argument(485868.249036 + 1717915923.2178 * t),  // l: Moon mean anomaly
      fundamental_argument(1287104.79305 + 129596581.0481 * t),   // l': Sun mean anomaly
      fundamental_argument(335779.526232 + 1739527262.8478 * t),  // F: Moon argument of latitude
      fundamental_argument(1072260.70369 + 1602961601.209 * t),   // D: Moon elongation
      fundamental_argument(450160.398036 - 6962890.5431 * t),     // Om: Moon node
  };

  // Multiples: k x from (k - 1) x plus x, -k x as the conjugate of k x. The
  // arguments are already within one turn, so the few additions each multiple
  // takes cost a few roundings whatever the date.
  std::array<double, kArgumentCount> sines, cosines;
  sine_cosine(kArgumentCount, arguments.data(), sines.data(), cosines.data());
  std::array<Phase, kMultipleCount + kProductCount> phases;
  for (int a = 0; a < kArgumentCount; ++a) {
    const Phase x = {cosines[a], sines[a]};
    const int zero = multiple_index(a, 0);
    phases[zero] = {1.0, 0.0};
    for (int k = 1; k <= kMaxMultiple[a]; ++k) {
      const Phase kx = k == 1 ? x : phases[zero + k - 1] * x;
      phases[zero + k] = kx;
      phases[zero - k] = {kx.c, -kx.s};
    }
  }
  // Products and the gathering of the terms' phases written out with constant
  // indices (a fold over index sequences), so that no index is loaded.
  [&]<std::size_t... p>(std::index_sequence<p...>) {
    ((phases[kMultipleCount + p] = phases[kProducts[p].lhs] * phases[kProducts[p].rhs]), ...);
  }(std::make_index_sequence<kProductCount>());

  // The terms' phases in the order of kSeries' columns.
  alignas(32) double phase_s[kPaddedTermCount];
  alignas(32) double phase_c[kPaddedTermCount];
  [&]<std::size_t... j>(std::index_sequence<j...>) {
    ((phase_s[j] = phases[kTermPhase[kTermCount - 1 - j]].s, phase_c[j] = phases[kTermPhase[kTermCount - 1 - j]].c),
     ...);
  }(std::make_index_sequence<kTermCount>());
  for (std::size_t j = kTermCount; j < kPaddedTermCount; ++j) phase_s[j] = phase_c[j] = 0.0;
  double longitude_sum, obliquity_sum;
  if (has_avx2_fma()) {
    series_sums_wide(t, phase_s, phase_c, longitude_sum, obliquity_sum);
  } else {
    series_sums_generic(t, phase_s, phase_c, longitude_sum, obliquity_sum);
  }

  return Nutation{longitude_sum * kRadiansPerTenthMicroarcsecond + kPlanetaryLongitudeOffset,
                  obliquity_sum * kRadiansPerTenthMicroarcsecond + kPlanetaryObliquityOffset};
}

}  // namespace ephemeris
