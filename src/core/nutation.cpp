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
// The phase of an angle x is the unit complex number (cos x, sin x), held as
// the lanes {cos x, sin x}; the product of two phases is the phase of the sum
// of their angles.
using Phase = Double2;
using PhaseMask = MaskOf<Phase>;

// {-sin x, cos x}: the phase turned by a quarter turn (the negation exact).
[[gnu::always_inline]] inline Phase quarter_turned(const Phase& b) {
  return reinterpret_cast<Phase>(reinterpret_cast<PhaseMask>(__builtin_shufflevector(b, b, 1, 0)) ^
                                 PhaseMask{INT64_MIN, 0});
}
// The conjugate {cos x, -sin x}, the phase of -x.
[[gnu::always_inline]] inline Phase conjugate(const Phase& b) {
  return reinterpret_cast<Phase>(reinterpret_cast<PhaseMask>(b) ^ PhaseMask{0, INT64_MIN});
}
// a b = a.c b + a.s (b turned by a quarter turn), given b turned: lane by lane
// {a.c b.c + a.s (-b.s), a.c b.s + a.s b.c}, the same roundings as
// {a.c b.c - a.s b.s, a.s b.c + a.c b.s} (x - y is x + (-y), and the two
// products of each sum are the same whichever comes first).
[[gnu::always_inline]] inline Phase product(const Phase& a, const Phase& b, const Phase& b_turned) {
  return __builtin_shufflevector(a, a, 0, 0) * b + __builtin_shufflevector(a, a, 1, 1) * b_turned;
}

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
// first), then the products planned below, then a zero standing in for the
// phase of the series' padding terms. Index of the multiple k x_a:
constexpr int multiple_index(int a, int k) {
  int index = 0;
  for (int b = 0; b < a; ++b) index += 2 * kMaxMultiple[b] + 1;
  return index + kMaxMultiple[a] + k;
}
constexpr int kMultipleCount = multiple_index(kArgumentCount - 1, kMaxMultiple[kArgumentCount - 1]) + 1;

// A phase formed as the product of a phase stored earlier and a multiple.
struct Product {
  int lhs;
  int rhs;  // a multiple: below kMultipleCount
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
constexpr int kZeroPhase = kMultipleCount + static_cast<int>(kProductCount);
constexpr int kPhaseCount = kZeroPhase + 1;

// The series' terms in the order they are summed: smallest first (the
// table's last row first), padded with zero terms to whole groups of four.
// Term j goes to the partial sum j mod 4, so that consecutive additions do
// not wait for each other; the four partial sums are added pairwise.
constexpr std::size_t kLanes = 4;
constexpr std::size_t kPaddedTermCount = (kTermCount + kLanes - 1) / kLanes * kLanes;
// The index of the phase of each term in that order.
constexpr std::array<int, kPaddedTermCount> kColumnPhase = [] {
  std::array<int, kPaddedTermCount> phase{};
  for (std::size_t j = 0; j < kPaddedTermCount; ++j) {
    phase[j] = j < kTermCount ? kPlan.term_phase[kTermCount - 1 - j] : kZeroPhase;
  }
  return phase;
}();

// The coefficients of two consecutive terms j, j + 1 side by side, arranged
// so that a term's two contributions fill two lanes:
//   longitude (ps + pst t) s + pc c   and   obliquity (ec + ect t) c + es s
// are lanes 0 and 1 of {s, c} {ps + pst t, ec + ect t} + {c, s} {pc, es}.
struct SeriesLanes {
  alignas(32) double rate_free[2 * kPaddedTermCount];  // {ps, ec} of each term
  alignas(32) double rate[2 * kPaddedTermCount];       // {pst, ect}
  alignas(32) double fixed[2 * kPaddedTermCount];      // {pc, es}
};
constexpr SeriesLanes kSeries = [] {
  SeriesLanes lanes{};
  for (std::size_t j = 0; j < kTermCount; ++j) {
    const NutationTerm& term = kLunisolarTerms[kTermCount - 1 - j];
    lanes.rate_free[2 * j] = term.ps, lanes.rate_free[2 * j + 1] = term.ec;
    lanes.rate[2 * j] = term.pst, lanes.rate[2 * j + 1] = term.ect;
    lanes.fixed[2 * j] = term.pc, lanes.fixed[2 * j + 1] = term.es;
  }
  return lanes;
}();

// The multiples k x_a of the argument a whose phase is x, k from
// -kMaxMultiple[a] to kMaxMultiple[a], and the nonzero ones turned: k x from
// (k - 1) x times x, -k x as the conjugate of k x. The arguments are already
// within one turn, so the few additions each multiple takes cost a few
// roundings whatever the date.
template <int a>
[[gnu::always_inline]] inline void make_multiples(const Phase& x, Phase phases[], Phase turned[]) {
  constexpr int zero = multiple_index(a, 0);
  const Phase x_turned = quarter_turned(x);
  phases[zero] = Phase{1.0, 0.0};
  Phase kx = x;
  for (int k = 1; k <= kMaxMultiple[a]; ++k) {
    if (k > 1) kx = product(kx, x, x_turned);
    phases[zero + k] = kx;
    phases[zero - k] = conjugate(kx);
    turned[zero + k] = quarter_turned(kx);
    turned[zero - k] = quarter_turned(conjugate(kx));
  }
}
template <int... a>
[[gnu::always_inline]] inline void make_all_multiples(const Double4 (&sines)[2], const Double4 (&cosines)[2],
                                                      Phase phases[], Phase turned[],
                                                      std::integer_sequence<int, a...>) {
  (make_multiples<a>(Phase{cosines[a / 4][a % 4], sines[a / 4][a % 4]}, phases, turned), ...);
}

// The products of the plan, written out with constant indices (a fold over
// an index sequence), so that no index is loaded.
template <std::size_t... p>
[[gnu::always_inline]] inline void make_products(Phase phases[], const Phase turned[], std::index_sequence<p...>) {
  ((phases[kMultipleCount + p] = product(phases[kProducts[p].lhs], phases[kProducts[p].rhs], turned[kProducts[p].rhs])),
   ...);
}

// Adds the terms j and j + 1 to `sum`, their phases read in place.
template <std::size_t j>
[[gnu::always_inline]] inline void add_pair(const Phase phases[], double t, Double4& sum) {
  const Double4 cs = __builtin_shufflevector(phases[kColumnPhase[j]], phases[kColumnPhase[j + 1]], 0, 1, 2, 3);
  const Double4 sc = __builtin_shufflevector(cs, cs, 1, 0, 3, 2);
  Double4 rate_free, rate, fixed;  // loaded without alignment assumptions
  __builtin_memcpy(&rate_free, kSeries.rate_free + 2 * j, sizeof rate_free);
  __builtin_memcpy(&rate, kSeries.rate + 2 * j, sizeof rate);
  __builtin_memcpy(&fixed, kSeries.fixed + 2 * j, sizeof fixed);
  sum += sc * (rate_free + rate * t) + cs * fixed;
}
// Terms j = 2 q and 2 q + 1 at a time: q even fills the partial sums 0 and 1
// ({longitude 0, obliquity 0, longitude 1, obliquity 1}), q odd the partial
// sums 2 and 3.
template <std::size_t... q>
[[gnu::always_inline]] inline void add_pairs(const Phase phases[], double t, Double4 (&sums)[2],
                                             std::index_sequence<q...>) {
  (add_pair<2 * q>(phases, t, sums[q % 2]), ...);
}

// IAU 2000B nutation at t Julian centuries since J2000, given the fundamental
// arguments there (radians, in the order of the table's multiplier columns).
// Their sines and cosines stay in registers; every phase is made once and
// read in place by the series: no index is loaded (folds over index
// sequences), no phase copied. The same operations in both builds, so the
// same bits.
[[gnu::always_inline]] inline Nutation nutation_at(double t, const double (&arguments)[kArgumentCount]) {
  static_assert(kArgumentCount == 5);  // two groups of four lanes, the second padded with zeros
  Double4 sines[2], cosines[2];
  bool reduced = true;  // false for NaN (a non-finite date): sine_cosine sends it to libm
  for (const double argument : arguments) reduced = reduced && std::fabs(argument) <= kSineCosineLimit;
  if (reduced) {
    const Double4 x[2] = {{arguments[0], arguments[1], arguments[2], arguments[3]}, {arguments[4], 0.0, 0.0, 0.0}};
    sine_cosine_lanes(x[0], sines[0], cosines[0]);
    sine_cosine_lanes(x[1], sines[1], cosines[1]);
  } else {
    double s[kArgumentCount], c[kArgumentCount];
    sine_cosine(kArgumentCount, arguments, s, c);
    for (int a = 0; a < kArgumentCount; ++a) sines[a / 4][a % 4] = s[a], cosines[a / 4][a % 4] = c[a];
  }

  Phase phases[kPhaseCount];
  Phase turned[kMultipleCount];  // the multiples turned, for products by them
  make_all_multiples(sines, cosines, phases, turned, std::make_integer_sequence<int, kArgumentCount>());
  phases[kZeroPhase] = Phase{0.0, 0.0};
  make_products(phases, turned, std::make_index_sequence<kProductCount>());

  Double4 sums[2] = {};
  add_pairs(phases, t, sums, std::make_index_sequence<kPaddedTermCount / 2>());
  const double longitude_sum = (sums[0][0] + sums[0][2]) + (sums[1][0] + sums[1][2]);
  const double obliquity_sum = (sums[0][1] + sums[0][3]) + (sums[1][1] + sums[1][3]);
  return Nutation{longitude_sum * kRadiansPerTenthMicroarcsecond + kPlanetaryLongitudeOffset,
                  obliquity_sum * kRadiansPerTenthMicroarcsecond + kPlanetaryObliquityOffset};
}
Nutation nutation_generic(double t, const double (&arguments)[kArgumentCount]) { return nutation_at(t, arguments); }
[[gnu::target("avx2,fma")]] Nutation nutation_wide(double t, const double (&arguments)[kArgumentCount]) {
  return nutation_at(t, arguments);
}

}  // namespace

Nutation nutation_iau2000b(double jd) {
  const double t = julian_centuries_since_j2000(jd);
  // Delaunay arguments (Simon et al. 1994), linear parts only, in the order of
  // the table's multiplier columns.
  const double arguments[kArgumentCount] = {
      fundamental_argument(485868.249036 + 1717915923.2178 * t),  // l: Moon mean anomaly
      fundamental_argument(1287104.79305 + 129596581.0481 * t),   // l': Sun mean anomaly
      fundamental_argument(335779.526232 + 1739527262.8478 * t),  // F: Moon argument of latitude
      fundamental_argument(1072260.70369 + 1602961601.209 * t),   // D: Moon elongation
      fundamental_argument(450160.398036 - 6962890.5431 * t),     // Om: Moon node
  };
  return has_avx2_fma() ? nutation_wide(t, arguments) : nutation_generic(t, arguments);
}

}  // namespace ephemeris
