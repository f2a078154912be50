#include "core/horizon.h"

#include <cmath>
#include <limits>
#include <numbers>

#include <gtest/gtest.h>

#include "core/constants.h"

namespace ephemeris {
namespace {

constexpr double kDeg = kRadiansPerDegree;

TEST(RiseSetHourAngle, EquatorialBodySeenFromTheEquatorCrossesAtSixHours) {
  EXPECT_EQ(rise_set_hour_angle(0.0, 0.0, 0.0).value(), HorizonCrossing::crosses(std::numbers::pi / 2.0));
}

TEST(RiseSetHourAngle, CircumpolarAndNeverRisingBodies) {
  EXPECT_EQ(rise_set_hour_angle(80.0 * kDeg, 20.0 * kDeg, 0.0).value(), HorizonCrossing::always_above());
  EXPECT_EQ(rise_set_hour_angle(80.0 * kDeg, -20.0 * kDeg, 0.0).value(), HorizonCrossing::always_below());
  // Symmetric in latitude and declination.
  EXPECT_EQ(rise_set_hour_angle(20.0 * kDeg, 80.0 * kDeg, 0.0).value(), HorizonCrossing::always_above());
}

TEST(RiseSetHourAngle, AtAGeographicPoleTheAltitudeIsTheDeclination) {
  // cos(90 degrees) is 6e-17 in double precision: |cos H| comes out far beyond 1.
  const double pole = 90.0 * kDeg;
  for (double latitude : {pole, -pole}) {
    const double sign = latitude > 0 ? 1.0 : -1.0;
    EXPECT_EQ(rise_set_hour_angle(latitude, sign * 5.0 * kDeg, 0.0).value(), HorizonCrossing::always_above());
    EXPECT_EQ(rise_set_hour_angle(latitude, -sign * 5.0 * kDeg, 0.0).value(), HorizonCrossing::always_below());
    EXPECT_EQ(rise_set_hour_angle(latitude, sign * 5.0 * kDeg, 6.0 * kDeg).value(), HorizonCrossing::always_below());
    EXPECT_EQ(rise_set_hour_angle(latitude, sign * 5.0 * kDeg, -0.8333 * kDeg).value(),
              HorizonCrossing::always_above());
  }
}

TEST(RiseSetHourAngle, ABodyAtTheCelestialPoleSeenFromTheGeographicPoleNeverMoves) {
  // Both cosines vanish: the degenerate branch compares the constant altitude.
  const double pole = 90.0 * kDeg;
  EXPECT_EQ(rise_set_hour_angle(pole, pole, 0.0).value(), HorizonCrossing::always_above());
  EXPECT_EQ(rise_set_hour_angle(pole, pole, pole).value(), HorizonCrossing::always_above());
  EXPECT_EQ(rise_set_hour_angle(-pole, pole, 0.0).value(), HorizonCrossing::always_below());
}

TEST(RiseSetHourAngle, TheBodyIsAtTheAltitudeAtTheReturnedHourAngle) {
  for (double latitude : {-60.0, -33.9, 0.0, 12.0, 51.5, 65.0}) {
    for (double declination : {-23.4, -5.0, 0.0, 11.0, 23.4}) {
      for (double altitude : {-0.8333, -0.5667, 0.0, 0.125}) {
        const double phi = latitude * kDeg;
        const double delta = declination * kDeg;
        const auto crossing = rise_set_hour_angle(phi, delta, altitude * kDeg).value();
        ASSERT_EQ(crossing.kind, HorizonCrossing::Kind::Crosses);
        EXPECT_GE(crossing.hour_angle_rad, 0.0);
        EXPECT_LE(crossing.hour_angle_rad, std::numbers::pi);
        const double sin_altitude = std::sin(phi) * std::sin(delta) +
                                    std::cos(phi) * std::cos(delta) * std::cos(crossing.hour_angle_rad);
        EXPECT_NEAR(std::asin(sin_altitude), altitude * kDeg, 1e-12);
      }
    }
  }
}

TEST(RiseSetHourAngle, RefusesNonFiniteArguments) {
  const double nan = std::nan("");
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(rise_set_hour_angle(nan, 0.0, 0.0).error(), CoordinateError::NonFinite);
  EXPECT_EQ(rise_set_hour_angle(0.0, inf, 0.0).error(), CoordinateError::NonFinite);
  EXPECT_EQ(rise_set_hour_angle(0.0, 0.0, -inf).error(), CoordinateError::NonFinite);
}

}  // namespace
}  // namespace ephemeris
