#include "core/sidereal_time.h"

#include <cmath>

#include "core/angle_reduction.h"
#include "core/constants.h"
#include "core/julian_day.h"
#include "core/precession.h"

namespace ephemeris {
namespace {

// Earth rotation angle at J2000.0 UT1, turns (Capitaine et al. 2000).
constexpr double kEraAtJ2000Turns = 0.779057273264;

// The Julian date minus its integer part toward zero, in [0, 1).
double day_fraction(double jd) {
  double f = jd - std::trunc(jd);
  if (f < 0.0) f += 1.0;
  return f;
}

// GMST minus ERA (IAU 2006), arcseconds, Horner with fused multiply-add.
double gmst_polynomial_arcsec(double t) {
  double p = -0.0000000368;
  p = std::fma(p, t, -0.000029956);
  p = std::fma(p, t, -0.00000044);
  p = std::fma(p, t, 1.3915817);
  p = std::fma(p, t, 4612.156534);
  p = std::fma(p, t, 0.014506);
  return p;
}

}  // namespace

double earth_rotation_angle(double ut1_jd) {
  const double f = day_fraction(ut1_jd);
  const double turns = std::fma(ut1_jd - kJ2000JulianDay, kEraExtraTurnsPerDay, f + kEraAtJ2000Turns);
  return reduce_angle(kTwoPi * turns, kTwoPi);
}

double greenwich_mean_sidereal_time_iau2006(double ut1_jd, double tt_jd) {
  const double t = julian_centuries_since_j2000(tt_jd);
  return reduce_angle(earth_rotation_angle(ut1_jd) + gmst_polynomial_arcsec(t) * kRadiansPerArcsecond, kTwoPi);
}

double greenwich_apparent_sidereal_time_iau2006(double ut1_jd, double tt_jd, const Nutation& nutation) {
  const double t = julian_centuries_since_j2000(tt_jd);
  const double gmst = greenwich_mean_sidereal_time_iau2006(ut1_jd, tt_jd);
  const double mean_obliquity = mean_obliquity_iau2006(tt_jd);
  // Complementary terms of the equation of the equinoxes: the two largest,
  // in the longitude of the Moon's node.
  const double node = std::fmod(450160.398036 - 6962890.5431 * t, kArcsecondsPerTurn) * kRadiansPerArcsecond;
  const double complementary =
      (0.00264096 * std::sin(node) + 0.00006352 * std::sin(2.0 * node)) * kRadiansPerArcsecond;
  return reduce_angle(complementary + (gmst + nutation.longitude_rad * std::cos(mean_obliquity)), kTwoPi);
}

double greenwich_apparent_sidereal_time_iau2006(double ut1_jd, double tt_jd) {
  return greenwich_apparent_sidereal_time_iau2006(ut1_jd, tt_jd, nutation_iau2000b(tt_jd));
}

double local_apparent_sidereal_time_iau2006(double east_longitude_rad, double ut1_jd, double tt_jd) {
  return local_sidereal_time(east_longitude_rad, greenwich_apparent_sidereal_time_iau2006(ut1_jd, tt_jd));
}

double local_sidereal_time(double east_longitude_rad, double greenwich_sidereal_time_rad) {
  return reduce_angle(east_longitude_rad + greenwich_sidereal_time_rad, kTwoPi);
}

}  // namespace ephemeris
