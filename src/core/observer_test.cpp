#include "core/observer.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include <gtest/gtest.h>

#include "core/testdata/erfa_astronomy_reference.h"

namespace ephemeris {
namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kOmega = 7.292115e-5;  // rad/s

double norm(const std::array<double, 3>& v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

TEST(GeodeticObserverValidate, AcceptsThePolesAndRefusesBeyond) {
  EXPECT_TRUE(GeodeticObserver({10.0, 90.0, 0.0}).validate().has_value());
  EXPECT_TRUE(GeodeticObserver({-400.0, -90.0, -500.0}).validate().has_value());
  EXPECT_EQ(GeodeticObserver({0.0, 90.000001, 0.0}).validate().error(), CoordinateError::InvalidLatitude);
  EXPECT_EQ(GeodeticObserver({0.0, -1e300, 0.0}).validate().error(), CoordinateError::InvalidLatitude);
  EXPECT_EQ(message(CoordinateError::InvalidLatitude), "geodetic latitude must be finite and within [-90, 90] degrees");
}

TEST(GeodeticObserverValidate, RefusesNonFiniteCoordinatesAsNonFinite) {
  EXPECT_EQ(GeodeticObserver({0.0, kNan, 0.0}).validate().error(), CoordinateError::NonFinite);
  EXPECT_EQ(GeodeticObserver({0.0, -kInf, 0.0}).validate().error(), CoordinateError::NonFinite);
  EXPECT_EQ(GeodeticObserver({kNan, 95.0, 0.0}).validate().error(), CoordinateError::NonFinite);
  EXPECT_EQ(GeodeticObserver({0.0, 95.0, kInf}).validate().error(), CoordinateError::NonFinite);
  EXPECT_EQ(message(CoordinateError::NonFinite), "Cartesian state must be finite");
}

TEST(GeodeticObserverValidate, ReturnsAnIdenticalCopy) {
  const GeodeticObserver site{-70.4, -24.6, 2635.0};
  EXPECT_EQ(site.validate().value(), site);
}

// The ERFA chain takes gst06 less the complementary terms this library
// omits; the remaining sidereal-angle difference (a few 1e-12 rad, see the
// sidereal-time tests) is 0.03 mm on the 6378 km radius and 2e-12 km/s on the
// 0.465 km/s rotation speed. Everything else is the same arithmetic up to
// rounding. The bounds are 0.1 mm and 1e-11 km/s.
TEST(ObserverGcrsFromGeodetic, AgreesWithTheErfaChain) {
  constexpr double kPositionToleranceKm = 1e-7;
  constexpr double kVelocityToleranceKmPerS = 1e-11;
  double worst_position = 0.0;
  double worst_velocity = 0.0;
  for (const auto& c : testdata::kErfaObserverCases) {
    const GeodeticObserver site{c.longitude_deg, c.latitude_deg, c.height_m};
    const auto state = observer_gcrs_from_geodetic(site, c.ut1_jd, c.tt_jd, c.xp_arcsec, c.yp_arcsec);
    ASSERT_TRUE(state.has_value());
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(state->position_km[i], c.position_km[i], kPositionToleranceKm)
          << "site " << c.longitude_deg << " " << c.latitude_deg << " axis " << i;
      EXPECT_NEAR(state->velocity_km_per_s[i], c.velocity_km_per_s[i], kVelocityToleranceKmPerS)
          << "site " << c.longitude_deg << " " << c.latitude_deg << " axis " << i;
      worst_position = std::fmax(worst_position, std::abs(state->position_km[i] - c.position_km[i]));
      worst_velocity = std::fmax(worst_velocity, std::abs(state->velocity_km_per_s[i] - c.velocity_km_per_s[i]));
    }
  }
  std::printf("largest difference to the ERFA chain: %.3g km (tolerance %.0g), %.3g km/s (tolerance %.0g)\n",
              worst_position, kPositionToleranceKm, worst_velocity, kVelocityToleranceKmPerS);
}

TEST(ObserverGcrsFromGeodetic, EquatorSiteIsOneEquatorialRadiusOut) {
  const auto state = observer_gcrs_from_geodetic({0.0, 0.0, 0.0}, 2460000.5, 2460000.5008, 0.0, 0.0).value();
  // Rotations keep the length to a few ulps.
  EXPECT_NEAR(norm(state.position_km), 6378.137, 1e-11);
  EXPECT_NEAR(norm(state.velocity_km_per_s), kOmega * 6378.137, 1e-15);
  EXPECT_NEAR(norm(state.velocity_km_per_s), 0.4651, 1e-4);
}

TEST(ObserverGcrsFromGeodetic, PoleSiteIsOnThePolarRadiusAndAtRest) {
  // N (1 - e^2) at latitude 90: the GRS80 polar radius.
  const double polar_radius_km = 6378.137 / std::sqrt(1.0 - 0.006694380022900787) * 0.9933056199770992;
  for (double latitude : {90.0, -90.0}) {
    const auto state = observer_gcrs_from_geodetic({25.0, latitude, 0.0}, 2451545.0, 2451545.0, 0.0, 0.0).value();
    EXPECT_NEAR(norm(state.position_km), polar_radius_km, 1e-11);
    EXPECT_NEAR(norm(state.position_km), 6356.752, 1e-3);
    EXPECT_LT(norm(state.velocity_km_per_s), 1e-15);
  }
}

TEST(ObserverGcrsFromGeodetic, SpeedIsRotationRateTimesDistanceFromTheAxis) {
  // Without polar motion the TIRS axis is the z axis of the site's ITRS
  // position, whose distance from it is (N + h) cos(latitude).
  const double lat = 51.5 * 0.017453292519943295;
  const double n = 6378137.0 / std::sqrt(1.0 - 0.006694380022900787 * std::sin(lat) * std::sin(lat));
  const double axis_distance_km = (n + 120.0) * std::cos(lat) / 1000.0;
  const auto state = observer_gcrs_from_geodetic({-0.1, 51.5, 120.0}, 2440000.5, 2440000.5005, 0.0, 0.0).value();
  EXPECT_NEAR(norm(state.velocity_km_per_s), kOmega * axis_distance_km, 1e-15);
}

TEST(ObserverGcrsFromGeodetic, RefusesBadSitesPoleOffsetsAndDates) {
  const GeodeticObserver site{10.0, 45.0, 0.0};
  EXPECT_EQ(observer_gcrs_from_geodetic({0.0, 90.5, 0.0}, 2451545.0, 2451545.0, 0.0, 0.0).error(),
            CoordinateError::InvalidLatitude);
  EXPECT_EQ(observer_gcrs_from_geodetic({0.0, kNan, 0.0}, 2451545.0, 2451545.0, 0.0, 0.0).error(),
            CoordinateError::NonFinite);
  EXPECT_EQ(observer_gcrs_from_geodetic(site, 2451545.0, 2451545.0, kNan, 0.0).error(), CoordinateError::NonFinite);
  EXPECT_EQ(observer_gcrs_from_geodetic(site, 2451545.0, 2451545.0, 0.0, -kInf).error(), CoordinateError::NonFinite);
  EXPECT_EQ(observer_gcrs_from_geodetic(site, kInf, 2451545.0, 0.0, 0.0).error(), CoordinateError::NonFinite);
  EXPECT_EQ(observer_gcrs_from_geodetic(site, 2451545.0, kNan, 0.0, 0.0).error(), CoordinateError::NonFinite);
}

}  // namespace
}  // namespace ephemeris
