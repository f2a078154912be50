#include "core/ayanamsha.h"

#include <cmath>

#include "core/constants.h"
#include "core/julian_day.h"

namespace ephemeris {
namespace {

struct ModeDefinition {
  double reference_centuries;  // reference epoch, Julian centuries of TT from J2000
  double ayanamsha_deg;        // ayanamsha at the reference epoch
};

// Lahiri: 23.25 degrees at JD 2435553.5; Fagan-Bradley: 24 deg 02' 31.36" at
// JD 2433282.42345905.
constexpr ModeDefinition kLahiri{julian_centuries_since_j2000(2435553.5), 23.25};
constexpr ModeDefinition kFaganBradley{julian_centuries_since_j2000(2433282.42345905),
                                       24.0 + 2.0 / kArcminutesPerDegree + 31.36 / kArcsecondsPerDegree};
static_assert(kLahiri.reference_centuries == -0.43782340862422997);
static_assert(kFaganBradley.reference_centuries == -0.500002095577008);
static_assert(kFaganBradley.ayanamsha_deg == 24.042044444444446);

ModeDefinition definition(SiderealMode mode) {
  switch (mode) {
    case SiderealMode::Lahiri: return kLahiri;
    case SiderealMode::FaganBradley: return kFaganBradley;
  }
  return {0.0, 0.0};
}

// IAU 2006 general precession in longitude, arcseconds, at `x` Julian
// centuries from J2000 (Horner with fused multiply-add from the x^5 term).
double general_precession_arcsec(double x) {
  double p = -0.0000000383;
  p = std::fma(p, x, -0.000023857);
  p = std::fma(p, x, 0.00007964);
  p = std::fma(p, x, 1.1054348);
  p = std::fma(p, x, 5028.796195);
  p = std::fma(p, x, 0.0);
  return p;
}

// Arcseconds per Julian century to degrees per day: 3600 x 36525.
constexpr double kArcsecPerCenturyPerDegPerDay = kArcsecondsPerDegree * kDaysPerJulianCentury;
static_assert(kArcsecPerCenturyPerDegPerDay == 1.3149e8);

}  // namespace

std::expected<double, CoordinateError> ayanamsha_deg(SiderealMode mode, double tt_jd) {
  if (!std::isfinite(tt_jd)) return std::unexpected(CoordinateError::NonFinite);
  const double t = julian_centuries_since_j2000(tt_jd);
  const ModeDefinition m = definition(mode);
  return m.ayanamsha_deg +
         (general_precession_arcsec(t) - general_precession_arcsec(m.reference_centuries)) / kArcsecondsPerDegree;
}

std::expected<double, CoordinateError> ayanamsha_rate_deg_per_day(double tt_jd) {
  if (!std::isfinite(tt_jd)) return std::unexpected(CoordinateError::NonFinite);
  const double t = julian_centuries_since_j2000(tt_jd);
  // Derivative of the general precession, arcseconds per century.
  const double rate = 5028.796195 + t * (2.2108696 + t * (0.00023892 + t * (-0.000095428 + t * -0.0000001915)));
  return rate / kArcsecPerCenturyPerDegPerDay;
}

}  // namespace ephemeris
