// Sidereal positions: the ayanamsha at the reference epochs of both modes,
// the wrap below 360 degrees, the rate, and the order of the option checks.
#include "engine/sidereal_position.h"

#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "core/angle_reduction.h"
#include "engine/season_search.h"
#include "engine/testing/de421_engines.h"

namespace ephemeris {
namespace {

using testing::open_de421;

constexpr PositionOptions kApparentEclipticOfDate{Origin::geocentric(), CoordinateSystem::Ecliptic,
                                                   ReferenceEpoch::OfDate, true};

class SiderealPosition : public testing::RealDataTest {};

// Tropical minus sidereal longitude, brought into (-180, 180].
double offset_deg(const Position& tropical, const Position& sidereal) {
  const double d = reduce_angle(tropical.longitude_deg - sidereal.longitude_deg, 360.0);
  return d > 180.0 ? d - 360.0 : d;
}

TEST_F(SiderealPosition, AyanamshaAtTheReferenceEpochs) {
  // Lahiri: 23.25 degrees at 1956 March 21.0 TT; Fagan-Bradley: 24 deg 02' 31.36"
  // at JD 2433282.42345905 TT; about 23.8615 and 24.7404 degrees at J2000.
  // The subtraction and the reduction lose at most an ulp of 360 degrees.
  const SpkEphemeris engine = open_de421();
  struct Case {
    SiderealMode mode;
    double tt_julian_day;
    double ayanamsha_deg;
    double tolerance_deg;
  };
  const Case cases[] = {{SiderealMode::Lahiri, 2435553.5, 23.25, 1e-12},
                        {SiderealMode::FaganBradley, 2433282.42345905, 24.042044444444446, 1e-12},
                        {SiderealMode::Lahiri, 2451545.0, 23.8615, 1e-4},
                        {SiderealMode::FaganBradley, 2451545.0, 24.7404, 1e-4}};
  for (const Case& c : cases) {
    for (Body body : {Body::Sun, Body::Moon, Body::Mars}) {
      const Instant instant{c.tt_julian_day, TimeScale::Tt};
      const Position tropical = engine.position(body, instant, kApparentEclipticOfDate).value();
      const auto sidereal = sidereal_position(engine, body, instant, kApparentEclipticOfDate, c.mode);
      ASSERT_TRUE(sidereal.has_value()) << message(sidereal.error());
      EXPECT_NEAR(offset_deg(tropical, *sidereal), c.ayanamsha_deg, c.tolerance_deg)
          << body_name(body) << " at TT " << c.tt_julian_day;
      EXPECT_GE(sidereal->longitude_deg, 0.0);
      EXPECT_LT(sidereal->longitude_deg, 360.0);
      EXPECT_EQ(sidereal->latitude_deg, tropical.latitude_deg);
      EXPECT_EQ(sidereal->distance_au, tropical.distance_au);
    }
  }
}

TEST_F(SiderealPosition, SpeedLosesTheAyanamshaRate) {
  // At J2000 the rate is 5028.796195 arcseconds per century, about 3.8245e-5 degrees per day.
  const SpkEphemeris engine = open_de421();
  const Instant j2000{2451545.0, TimeScale::Tt};
  const Position tropical = engine.position(Body::Moon, j2000, kApparentEclipticOfDate).value();
  for (SiderealMode mode : {SiderealMode::Lahiri, SiderealMode::FaganBradley}) {
    const Position sidereal = sidereal_position(engine, Body::Moon, j2000, kApparentEclipticOfDate, mode).value();
    EXPECT_EQ(sidereal.longitude_speed_deg_per_day,
              tropical.longitude_speed_deg_per_day - 5028.796195 / 1.3149e8);
  }
}

TEST_F(SiderealPosition, LongitudeJustBelowTheAyanamshaWrapsBelow360) {
  // Find the moment the Sun's apparent longitude is a hair (1e-6 degree,
  // about 0.09 s of its motion) below the Lahiri ayanamsha of that day.
  const SpkEphemeris engine = open_de421();
  const double ayanamsha_2000 = 23.8615;
  const Instant near = next_sun_longitude(engine, {2451545.0, TimeScale::Tt}, ayanamsha_2000).value();
  const Position at_near = engine.position(Body::Sun, near, kApparentEclipticOfDate).value();
  const double ayanamsha = at_near.longitude_deg -
      sidereal_position(engine, Body::Sun, near, kApparentEclipticOfDate, SiderealMode::Lahiri)->longitude_deg;
  const Instant below = next_sun_longitude(engine, {2451545.0, TimeScale::Tt}, ayanamsha - 1e-6).value();
  const Position sidereal =
      sidereal_position(engine, Body::Sun, below, kApparentEclipticOfDate, SiderealMode::Lahiri).value();
  EXPECT_GT(sidereal.longitude_deg, 360.0 - 1e-5);
  EXPECT_LT(sidereal.longitude_deg, 360.0);
}

TEST_F(SiderealPosition, EclipticOfDateIsCheckedBeforeTheOptionRules) {
  const SpkEphemeris engine = open_de421();
  const Instant j2000{2451545.0, TimeScale::Tt};
  const std::string wanted = "sidereal longitudes require ecliptic of date";
  // Equatorial of date, and J2000 ecliptic with `apparent` (itself refused by the option rules).
  const PositionOptions equatorial{Origin::geocentric(), CoordinateSystem::Equatorial, ReferenceEpoch::OfDate, true};
  const PositionOptions j2000_apparent{Origin::geocentric(), CoordinateSystem::Ecliptic, ReferenceEpoch::J2000, true};
  EXPECT_EQ(message(sidereal_position(engine, Body::Sun, j2000, equatorial, SiderealMode::Lahiri).error()), wanted);
  EXPECT_EQ(message(sidereal_position(engine, Body::Sun, j2000, j2000_apparent, SiderealMode::FaganBradley).error()),
            wanted);
  // The out-of-range instant comes after both checks.
  EXPECT_EQ(message(sidereal_position(engine, Body::Sun, {3e6, TimeScale::Tt}, equatorial, SiderealMode::Lahiri)
                        .error()),
            wanted);
  // Ecliptic of date passes this check; the position's own rules follow.
  PositionOptions no_precession{Origin::geocentric(), CoordinateSystem::Ecliptic, ReferenceEpoch::OfDate};
  EXPECT_EQ(message(sidereal_position(engine, Body::Sun, j2000, no_precession, SiderealMode::Lahiri).error()),
            "reference_epoch: OfDate requires corrections.precession");
  // Mean ecliptic of date (precession only) is accepted.
  no_precession.corrections.precession = true;
  EXPECT_TRUE(sidereal_position(engine, Body::Sun, j2000, no_precession, SiderealMode::Lahiri).has_value());
}

TEST_F(SiderealPosition, PositionAndTimeErrorsPassThrough) {
  const SpkEphemeris engine = open_de421();
  EXPECT_EQ(message(sidereal_position(engine, Body::Sun, {3e6, TimeScale::Tdb}, kApparentEclipticOfDate,
                                             SiderealMode::Lahiri)
                        .error()),
            "Julian day 3000000 is outside kernel range 2414864.5..2471184.5 Tdb");
  EXPECT_EQ(message(sidereal_position(engine, Body::Moon, {2451545.0, TimeScale::Utc}, kApparentEclipticOfDate,
                                             SiderealMode::FaganBradley)
                        .error()),
            "conversion from Utc to TDB is not implemented");
  EXPECT_EQ(message(sidereal_position(engine, Body::Earth, {2451545.0, TimeScale::Tt}, kApparentEclipticOfDate,
                                             SiderealMode::Lahiri)
                        .error()),
            "spherical coordinates are undefined when target and origin are identical");
}

}  // namespace
}  // namespace ephemeris
