#include "core/nutation.h"

#include <cmath>
#include <cstdint>
#include <iterator>

#include "core/constants.h"
#include "core/julian_day.h"

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
static_assert(std::size(kLunisolarTerms) == 77);

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
  return std::fmod(arcseconds, kArcsecondsPerTurn) * kRadiansPerArcsecond;
}

}  // namespace

Nutation nutation_iau2000b(double jd) {
  const double t = julian_centuries_since_j2000(jd);

  // Delaunay arguments (Simon et al. 1994), linear parts only.
  const double l = fundamental_argument(485868.249036 + 1717915923.2178 * t);    // Moon mean anomaly
  const double lp = fundamental_argument(1287104.79305 + 129596581.0481 * t);    // Sun mean anomaly
  const double f = fundamental_argument(335779.526232 + 1739527262.8478 * t);    // Moon argument of latitude
  const double d = fundamental_argument(1072260.70369 + 1602961601.209 * t);     // Moon elongation
  const double om = fundamental_argument(450160.398036 - 6962890.5431 * t);      // Moon node

  // Smallest terms first, which keeps the rounding of the sums small.
  double longitude_sum = 0.0;
  double obliquity_sum = 0.0;
  for (auto term = std::rbegin(kLunisolarTerms); term != std::rend(kLunisolarTerms); ++term) {
    const double argument = term->nl * l + term->nlp * lp + term->nf * f + term->nd * d + term->nom * om;
    const double s = std::sin(argument);
    const double c = std::cos(argument);
    longitude_sum += (term->ps + term->pst * t) * s + term->pc * c;
    obliquity_sum += (term->ec + term->ect * t) * c + term->es * s;
  }

  return Nutation{longitude_sum * kRadiansPerTenthMicroarcsecond + kPlanetaryLongitudeOffset,
                  obliquity_sum * kRadiansPerTenthMicroarcsecond + kPlanetaryObliquityOffset};
}

}  // namespace ephemeris
