#include "core/ayanamsha.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace ephemeris {
namespace {

TEST(AyanamshaDeg, TakesTheDefiningValueAtTheReferenceEpoch) {
  // The epochs are stored in centuries; the Julian dates give those to rounding.
  EXPECT_NEAR(ayanamsha_deg(SiderealMode::Lahiri, 2435553.5).value(), 23.25, 1e-12);
  EXPECT_NEAR(ayanamsha_deg(SiderealMode::FaganBradley, 2433282.42345905).value(), 24.042044444444446, 1e-12);
}

TEST(AyanamshaDeg, AtJ2000) {
  // Published J2000 values, quoted to 1e-4 degree.
  EXPECT_NEAR(ayanamsha_deg(SiderealMode::Lahiri, 2451545.0).value(), 23.8615, 1e-4);
  EXPECT_NEAR(ayanamsha_deg(SiderealMode::FaganBradley, 2451545.0).value(), 24.7404, 1e-4);
}

TEST(AyanamshaDeg, ModesDifferByAConstant) {
  // Both modes share the precession polynomial, so their difference is the same at all dates.
  const double at_j2000 = ayanamsha_deg(SiderealMode::FaganBradley, 2451545.0).value() -
                          ayanamsha_deg(SiderealMode::Lahiri, 2451545.0).value();
  for (double jd : {2305447.5, 2415020.0, 2469807.5, 2488070.0}) {
    const double difference = ayanamsha_deg(SiderealMode::FaganBradley, jd).value() -
                              ayanamsha_deg(SiderealMode::Lahiri, jd).value();
    EXPECT_NEAR(difference, at_j2000, 1e-12);
  }
}

TEST(AyanamshaRateDegPerDay, AtJ2000IsTheLinearPrecessionRate) {
  EXPECT_EQ(ayanamsha_rate_deg_per_day(2451545.0).value(), 5028.796195 / 1.3149e8);
  EXPECT_NEAR(ayanamsha_rate_deg_per_day(2451545.0).value(), 3.8245e-5, 1e-9);
}

TEST(AyanamshaRateDegPerDay, IsTheDerivativeOfTheAyanamsha) {
  // Central difference over +-1 day: truncation below 1e-19 deg/day, rounding
  // of the two 24-degree values about 4e-15 / 2 deg/day.
  for (double jd : {2415020.0, 2451545.0, 2488070.0}) {
    const double slope = (ayanamsha_deg(SiderealMode::Lahiri, jd + 1.0).value() -
                          ayanamsha_deg(SiderealMode::Lahiri, jd - 1.0).value()) /
                         2.0;
    EXPECT_NEAR(ayanamsha_rate_deg_per_day(jd).value(), slope, 1e-14) << "jd " << jd;
  }
}

TEST(Ayanamsha, RefusesNonFiniteDates) {
  const double nan = std::nan("");
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(ayanamsha_deg(SiderealMode::Lahiri, nan).error(), CoordinateError::NonFinite);
  EXPECT_EQ(ayanamsha_deg(SiderealMode::FaganBradley, -inf).error(), CoordinateError::NonFinite);
  EXPECT_EQ(ayanamsha_rate_deg_per_day(inf).error(), CoordinateError::NonFinite);
  EXPECT_EQ(ayanamsha_rate_deg_per_day(nan).error(), CoordinateError::NonFinite);
}

}  // namespace
}  // namespace ephemeris
