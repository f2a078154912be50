// Altitude and azimuth: the horizon frame of a site, polar motion, Bennett's
// refraction and its inversion, the engine's order of errors, and the same
// numbers for one instant and for many. Skyfield's altaz() is the end-to-end
// oracle (tests/test_arrays.py).
#include "engine/horizontal.h"

#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/constants.h"
#include "core/horizon.h"
#include "engine/testing/de421_engines.h"

namespace ephemeris {
namespace {

constexpr double kDeg = kRadiansPerDegree;
constexpr double kArcsec = kRadiansPerArcsecond;

TEST(HorizontalDirection, AxesOfTheSiteFrame) {
  struct Case {
    std::array<double, 3> itrs;
    double latitude_deg, longitude_deg, altitude_deg, azimuth_deg;
  };
  const double lon = 151.2 * kDeg;
  const Case cases[] = {
      {{2, 0, 0}, 0, 0, 90, 0},       {{0, 0, 1}, 0, 0, 0, 0},           {{0, 1, 0}, 0, 0, 0, 90},
      {{0, -1, 0}, 0, 0, 0, 270},     {{0, 0, 1}, 51.5, -0.1, 51.5, 0},  {{0, 0, -1}, 51.5, -0.1, -51.5, 180},
      {{0, 0, 1}, -33.9, 151.2, -33.9, 0}, {{-std::sin(lon), std::cos(lon), 0}, -33.9, 151.2, 0, 90},
      {{1, 0, 0}, 90, 0, 0, 180},     {{1, 0, 0}, -90, 0, 0, 0},
  };
  for (const Case& c : cases) {
    const auto d = horizontal_direction(c.itrs, c.latitude_deg * kDeg, c.longitude_deg * kDeg);
    EXPECT_NEAR(d.altitude_rad / kDeg, c.altitude_deg, 1e-12) << c.latitude_deg << " " << c.longitude_deg;
    EXPECT_NEAR(d.azimuth_rad / kDeg, c.azimuth_deg, 1e-12) << c.latitude_deg << " " << c.longitude_deg;
  }
}

TEST(PolarMotionRotation, TheCelestialPoleSitsAtXpMinusYpInTheItrs) {
  // IERS Conventions 2010, 5.4.1: the CIP has ITRS coordinates (xp, -yp).
  const auto pole = tirs_to_itrs({0, 0, 1}, 0.2, 0.35, kJ2000JulianDay);
  EXPECT_NEAR(pole[0], 0.2 * kArcsec, 1e-15);
  EXPECT_NEAR(pole[1], -0.35 * kArcsec, 1e-15);
  const std::array<double, 3> v = {0.3, -0.5, 0.8};
  const auto back = itrs_to_tirs(tirs_to_itrs(v, 0.2, 0.35, 2460000.5), 0.2, 0.35, 2460000.5);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(back[i], v[i], 1e-16);
}

TEST(BennettRefraction, StandardValuesWithinTheFormulasAccuracy) {
  // At 10 C and 1010 mbar: 58.3" at 45 degrees (the constant of refraction)
  // and the 34' of mean horizontal refraction, within Bennett's 0.07' and
  // the spread of horizontal refraction; none at the zenith nor in vacuum.
  EXPECT_NEAR(bennett_refraction_deg(45.0, 10.0, 1010.0) * 3600.0, 58.3, 4.2);
  EXPECT_NEAR(bennett_refraction_deg(0.0, 10.0, 1010.0) * 60.0, 34.0, 0.5);
  EXPECT_EQ(bennett_refraction_deg(90.0, 10.0, 1010.0), 0.0);
  EXPECT_EQ(bennett_refraction_deg(30.0, 10.0, 0.0), 0.0);
}

TEST(BennettRefraction, TheRefractedAltitudeSolvesTheFormula) {
  for (const auto [t, p] : {std::array{10.0, 1010.0}, {-100.0, 1200.0}, {60.0, 500.0}, {0.0, 0.0}}) {
    for (double h = -1.0; h <= 90.0; h += 0.25) {
      const double apparent = refracted_altitude_deg(h, t, p);
      EXPECT_NEAR(apparent - bennett_refraction_deg(apparent, t, p), h, 1e-11) << h << " " << t << " " << p;
    }
    EXPECT_EQ(refracted_altitude_deg(-1.0001, t, p), -1.0001);  // too far below the horizon
  }
}

class Horizontal : public testing::RealDataTest {};

TEST_F(Horizontal, ErrorsInOrder) {
  const SpkEphemeris engine = testing::de421_with_time_kernels();
  const GeodeticObserver site{-0.1, 51.5, 20.0};
  const Instant inside{2451545.0, TimeScale::Tt};
  const Instant outside{2400000.0, TimeScale::Tt};
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::string temperature = "air temperature must be finite and within [-100, 60] degrees Celsius";
  const std::string pressure = "air pressure must be finite and within [0, 1200] millibars";
  const std::string range = "Julian day 2400000 is outside kernel range 2414864.5..2471184.5 Tdb";
  struct Case {
    AirConditions air;
    Instant instant;
    std::string text;
  };
  const Case cases[] = {{{nan, 1010.0}, inside, temperature},   {{-100.5, 1010.0}, inside, temperature},
                        {{60.5, nan}, inside, temperature},     {{10.0, -0.1}, outside, pressure},
                        {{10.0, nan}, inside, pressure},        {{10.0, 1200.5}, inside, pressure},
                        {{-100.0, 0.0}, outside, range}};
  for (const Case& c : cases) {
    const auto result = horizontal_positions(engine, Body::Sun, site, std::vector{inside, c.instant}, c.air);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(message(result.error()), c.text);
  }
  EXPECT_EQ(message(horizontal_position(testing::open_de421(), Body::Sun, site, inside, std::nullopt).error()),
            "topocentric origins require a leap-second kernel; attach one with "
            "SpkEphemeris::with_leap_second_kernel");
}

TEST_F(Horizontal, OneInstantOrManyAndRefraction) {
  // The same numbers one by one; refraction changes nothing but the
  // altitude, by Bennett's value at the refracted altitude.
  const SpkEphemeris engine = testing::de421_with_time_kernels();
  const GeodeticObserver site{18.9, 69.6, 10.0};
  std::vector<Instant> instants;
  for (double day = 2453501.5; day < 2453503.0; day += 0.1) instants.push_back({day, TimeScale::Utc});
  const AirConditions air{-5.0, 980.0};
  const auto many = horizontal_positions(engine, Body::Moon, site, instants, std::nullopt).value();
  const auto refracted = horizontal_positions(engine, Body::Moon, site, instants, air).value();
  for (std::size_t i = 0; i < instants.size(); ++i) {
    const auto one = horizontal_position(engine, Body::Moon, site, instants[i], std::nullopt).value();
    EXPECT_EQ(one.altitude_deg, many[i].altitude_deg);
    EXPECT_EQ(one.azimuth_deg, many[i].azimuth_deg);
    EXPECT_EQ(one.distance_au, many[i].distance_au);

    const double a = refracted[i].altitude_deg;
    EXPECT_NEAR(a - (a >= -1.0 ? bennett_refraction_deg(a, air.temperature_c, air.pressure_mbar) : 0.0),
                many[i].altitude_deg, 1e-11);
    EXPECT_EQ(refracted[i].azimuth_deg, many[i].azimuth_deg);
    EXPECT_EQ(refracted[i].distance_au, many[i].distance_au);
  }
}

}  // namespace
}  // namespace ephemeris
