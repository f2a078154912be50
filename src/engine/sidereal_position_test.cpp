// Sidereal positions: the tropical longitude less the ayanamsha of the TT
// date, reduced below 360 degrees; the rate; the order of the option checks.
#include "engine/sidereal_position.h"

#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "core/angle_reduction.h"
#include "engine/season_search.h"
#include "engine/testing/de421_engines.h"
#include "spk/testing/spk_writer.h"

namespace ephemeris {
namespace {

using testing::outcome;

constexpr PositionOptions kApparent{Origin::geocentric(), CoordinateSystem::Ecliptic, ReferenceEpoch::OfDate, true};

class SiderealPosition : public testing::RealDataTest {};

TEST_F(SiderealPosition, SubtractsTheAyanamshaAndItsRateOfTheTtDate) {
  // UTC 2010-01-01 00:00 is TT 66.184 s later. (The module's tests check the
  // defining values at TT instants.)
  const Instant utc{2455197.5, TimeScale::Utc};
  const double tt = 2455197.5 + 66.184 / 86400.0;
  const Position tropical = de421().position(Body::Moon, utc, kApparent).value();
  for (SiderealMode mode : {SiderealMode::Lahiri, SiderealMode::FaganBradley}) {
    const Position sidereal = sidereal_position(de421(), Body::Moon, utc, kApparent, mode).value();
    // TT to 1e-9 day moves the ayanamsha by 4e-14 degree.
    EXPECT_NEAR(reduce_angle(tropical.longitude_deg - sidereal.longitude_deg, 360.0), *ayanamsha_deg(mode, tt), 1e-9);
    EXPECT_NEAR(sidereal.longitude_speed_deg_per_day,
                tropical.longitude_speed_deg_per_day - *ayanamsha_rate_deg_per_day(tt), 1e-12);
    EXPECT_EQ(std::pair(sidereal.latitude_deg, sidereal.distance_au),
              std::pair(tropical.latitude_deg, tropical.distance_au));
  }
}

TEST_F(SiderealPosition, LongitudeJustBelowTheAyanamshaWrapsBelow360) {
  // The moment the Sun's apparent longitude is 1e-6 degree (0.09 s of its
  // motion) below the Lahiri ayanamsha of that day.
  const Instant near = next_sun_longitude(de421(), {2451545.0, TimeScale::Tt}, 23.8615).value();
  const double ayanamsha = ayanamsha_deg(SiderealMode::Lahiri, near.julian_day).value();
  const Instant below = next_sun_longitude(de421(), {2451545.0, TimeScale::Tt}, ayanamsha - 1e-6).value();
  const auto sidereal = sidereal_position(de421(), Body::Sun, below, kApparent, SiderealMode::Lahiri);
  EXPECT_GT(sidereal->longitude_deg, 360.0 - 1e-5);
  EXPECT_LT(sidereal->longitude_deg, 360.0);
}

TEST_F(SiderealPosition, EclipticOfDateIsCheckedFirst) {
  const Instant j2000{2451545.0, TimeScale::Tt};
  const auto at = [](Instant t, PositionOptions o) {
    return outcome(sidereal_position(de421(), Body::Sun, t, o, SiderealMode::Lahiri));
  };
  const std::string wanted = "sidereal longitudes require ecliptic of date";
  const PositionOptions equatorial{Origin::geocentric(), CoordinateSystem::Equatorial, ReferenceEpoch::OfDate, true};
  const PositionOptions j2000_apparent{Origin::geocentric(), CoordinateSystem::Ecliptic, ReferenceEpoch::J2000, true};
  EXPECT_EQ(at(j2000, equatorial), wanted);
  EXPECT_EQ(at(j2000, j2000_apparent), wanted);
  EXPECT_EQ(at({3e6, TimeScale::Tt}, equatorial), wanted);
  // Then the position's own rules and errors; mean ecliptic of date is accepted.
  PositionOptions mean{Origin::geocentric(), CoordinateSystem::Ecliptic, ReferenceEpoch::OfDate};
  EXPECT_EQ(at(j2000, mean), "reference_epoch: OfDate requires corrections.precession");
  EXPECT_EQ(at({3e6, TimeScale::Tdb}, kApparent),
            "Julian day 3000000 is outside kernel range 2414864.5..2471184.5 Tdb");
  mean.corrections.precession = true;
  EXPECT_EQ(at(j2000, mean), "ok");
}

}  // namespace
}  // namespace ephemeris
