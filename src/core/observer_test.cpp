// The terrestrial observer: its validation, its GCRS state, and when a body crosses its horizon.
#include "core/observer.h"

#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "core/constants.h"
#include "core/horizon.h"
#include "core/sidereal_time.h"
#include "core/testdata/erfa_astronomy_reference.h"

namespace ephemeris {
namespace {

constexpr double kDeg = kRadiansPerDegree;

TEST(GeodeticObserverValidate, AcceptsThePolesAndRefusesBeyondAndNonFinite) {
  const GeodeticObserver site{-400.0, -90.0, -500.0};
  EXPECT_EQ(site.validate().value(), site);
  EXPECT_EQ(GeodeticObserver({0.0, 90.000001, 0.0}).validate().error(), CoordinateError::InvalidLatitude);
  EXPECT_EQ(GeodeticObserver({0.0, -INFINITY, 0.0}).validate().error(), CoordinateError::NonFinite);
  EXPECT_EQ(GeodeticObserver({NAN, 95.0, 0.0}).validate().error(), CoordinateError::NonFinite);
  EXPECT_EQ(GeodeticObserver({0.0, 95.0, INFINITY}).validate().error(), CoordinateError::NonFinite);
}

// The ERFA chain takes gst06 less the complementary terms this library omits; the remaining sidereal-angle difference
// (a few 1e-12 rad) is 0.03 mm on the 6378 km radius and 2e-12 km/s on the 0.465 km/s rotation speed; the rest is the
// same arithmetic up to rounding. Bounds 0.1 mm and 1e-11 km/s. The sites include the equator and both poles.
TEST(ObserverGcrsFromGeodetic, AgreesWithTheErfaChain) {
  for (const auto& c : testdata::kErfaObserverCases) {
    SCOPED_TRACE(::testing::Message() << "site " << c.longitude_deg << " " << c.latitude_deg);
    const GeodeticObserver site{c.longitude_deg, c.latitude_deg, c.height_m};
    const auto state = observer_gcrs_from_geodetic(site, c.ut1_jd, c.tt_jd, c.xp_arcsec, c.yp_arcsec);
    ASSERT_TRUE(state.has_value());
    // With one nutation series for both: the same state, turned by greenwich_apparent_sidereal_time_iau2006.
    const auto turned = site_gcrs_from_geodetic(site, c.ut1_jd, c.tt_jd, c.xp_arcsec, c.yp_arcsec).value();
    EXPECT_EQ(turned.state.position_km, state->position_km);
    EXPECT_EQ(turned.greenwich_apparent_sidereal_time_rad, greenwich_apparent_sidereal_time_iau2006(c.ut1_jd, c.tt_jd));
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(state->position_km[i], c.position_km[i], 1e-7) << "axis " << i;
      EXPECT_NEAR(state->velocity_km_per_s[i], c.velocity_km_per_s[i], 1e-11) << "axis " << i;
    }
  }
  const GeodeticObserver site{10.0, 45.0, 0.0};
  const double jd = 2451545.0;
  EXPECT_EQ(observer_gcrs_from_geodetic({0.0, 90.5, 0.0}, jd, jd, 0.0, 0.0).error(), CoordinateError::InvalidLatitude);
  EXPECT_EQ(observer_gcrs_from_geodetic(site, jd, jd, NAN, 0.0).error(), CoordinateError::NonFinite);
  EXPECT_EQ(observer_gcrs_from_geodetic(site, jd, jd, 0.0, -INFINITY).error(), CoordinateError::NonFinite);
  EXPECT_EQ(observer_gcrs_from_geodetic(site, INFINITY, jd, 0.0, 0.0).error(), CoordinateError::NonFinite);
  EXPECT_EQ(observer_gcrs_from_geodetic(site, jd, NAN, 0.0, 0.0).error(), CoordinateError::NonFinite);
  EXPECT_EQ(site_gcrs_from_geodetic(site, jd, NAN, 0.0, 0.0).error(), CoordinateError::NonFinite);
}

TEST(RiseSetHourAngle, TheBodyIsAtTheAltitudeAtTheReturnedHourAngle) {
  for (double phi : {-60.0 * kDeg, -33.9 * kDeg, 0.0, 51.5 * kDeg, 65.0 * kDeg}) {
    for (double delta : {-23.4 * kDeg, -5.0 * kDeg, 0.0, 11.0 * kDeg, 23.4 * kDeg}) {
      for (double altitude : {-0.8333 * kDeg, 0.0, 0.125 * kDeg}) {
        const auto crossing = rise_set_hour_angle(phi, delta, altitude).value();
        const double h = crossing.hour_angle_rad;
        ASSERT_TRUE(crossing.kind == HorizonCrossing::Kind::Crosses && h >= 0.0 && h <= std::numbers::pi) << h;
        const double sin_altitude = std::sin(phi) * std::sin(delta) + std::cos(phi) * std::cos(delta) * std::cos(h);
        EXPECT_NEAR(std::asin(sin_altitude), altitude, 1e-12);
      }
    }
  }
  EXPECT_EQ(rise_set_hour_angle(NAN, 0.0, 0.0).error(), CoordinateError::NonFinite);
  EXPECT_EQ(rise_set_hour_angle(0.0, INFINITY, 0.0).error(), CoordinateError::NonFinite);
  EXPECT_EQ(rise_set_hour_angle(0.0, 0.0, -INFINITY).error(), CoordinateError::NonFinite);
}

TEST(RiseSetHourAngle, CircumpolarNeverRisingAndPolarBodies) {
  // At a geographic pole cos(90 degrees) is 6e-17 and |cos H| comes out far beyond 1; with the body at a celestial pole
  // too, the degenerate branch compares the constant altitude.
  const auto above = HorizonCrossing::always_above(), below = HorizonCrossing::always_below();
  for (const auto& [latitude, declination, altitude, wanted] :
       {std::tuple{80, 20, 0.0, above}, {80, -20, 0.0, below}, {20, 80, 0.0, above}, {90, 5, 0.0, above},
        {90, -5, 0.0, below}, {90, 5, 6.0, below}, {90, 5, -0.8333, above}, {-90, -5, 0.0, above},
        {-90, 5, 0.0, below}, {90, 90, 0.0, above}, {90, 90, 90.0, above}, {-90, 90, 0.0, below}}) {
    EXPECT_EQ(rise_set_hour_angle(latitude * kDeg, declination * kDeg, altitude * kDeg).value(), wanted)
        << latitude << " " << declination << " " << altitude;
  }
}

}  // namespace
}  // namespace ephemeris
