// SpkEphemeris::positions_at_instant, the evaluation the searches share: the
// positions of several bodies at one instant bit for bit those of position(),
// errors included, and the Earth rotation the site was turned with.
#include <cstring>
#include <initializer_list>

#include <gtest/gtest.h>

#include "core/sidereal_time.h"
#include "engine/horizon_events.h"
#include "engine/testing/de421_engines.h"

namespace ephemeris {
namespace {

class PositionsAtInstant : public testing::RealDataTest {};

PositionOptions options_of(OriginKind origin, const GeodeticObserver& site) {
  PositionOptions options = horizon_options(site);
  if (origin != OriginKind::Topocentric) options.origin = Origin::geocentric();
  if (origin == OriginKind::Heliocentric) options.origin = Origin::heliocentric();
  return options;
}

TEST_F(PositionsAtInstant, AreThoseOfPositionWithTheSiteTurnedOnce) {
  // UT1 takes the one-conversion path of the time kernels, UTC and TT the others.
  const SpkEphemeris engine = testing::de421_with_time_kernels();
  const GeodeticObserver site{2.35, 48.85, 35.0};
  const Body bodies[] = {Body::Sun, Body::Moon, Body::Mars};
  for (const Instant& instant : {Instant{2460800.3, TimeScale::Ut1}, Instant{2460800.3, TimeScale::Utc},
                                 Instant{2451545.0, TimeScale::Tt}}) {
    for (OriginKind origin : {OriginKind::Geocentric, OriginKind::Topocentric}) {
      const PositionOptions options = options_of(origin, site);
      Position out[3];
      SiteAtInstant turned{};
      ASSERT_TRUE(engine.positions_at_instant(bodies, instant, options, out, &turned));
      for (int k = 0; k < 3; ++k) {
        const Position one = engine.position(bodies[k], instant, options).value();
        EXPECT_EQ(std::memcmp(&one, &out[k], sizeof one), 0) << "body " << k << ", day " << instant.julian_day;
      }
      if (origin != OriginKind::Topocentric) continue;
      const auto epochs = engine.time_kernels().earth_rotation_epochs(instant).value();
      EXPECT_EQ(turned.epochs.ut1_julian_day, epochs.ut1_julian_day);
      EXPECT_EQ(turned.epochs.tt_julian_day, epochs.tt_julian_day);
      EXPECT_EQ(turned.greenwich_apparent_sidereal_time_rad,
                greenwich_apparent_sidereal_time_iau2006(epochs.ut1_julian_day, epochs.tt_julian_day));
      EXPECT_EQ(turned.gcrs_state.position_km, engine.observer_gcrs_state(site, instant)->position_km);
    }
  }
}

TEST_F(PositionsAtInstant, FailAsPositionFailsForTheFirstBodyThatFails) {
  // A UT1 day past the Earth orientation table, a day past the kernel, and
  // the Sun seen from itself after the Moon.
  const SpkEphemeris engine = testing::de421_with_time_kernels();
  const GeodeticObserver site{2.35, 48.85, 35.0};
  const Body bodies[] = {Body::Moon, Body::Sun};
  const struct {
    Instant instant;
    OriginKind origin;
  } cases[] = {{{2470000.5, TimeScale::Ut1}, OriginKind::Topocentric},
               {{2500000.5, TimeScale::Tt}, OriginKind::Geocentric},
               {{2451545.0, TimeScale::Tt}, OriginKind::Heliocentric}};
  for (const auto& c : cases) {
    const PositionOptions options = options_of(c.origin, site);
    Position out[2];
    const auto error = engine.positions_at_instant(bodies, c.instant, options, out).error();
    const auto moon = engine.position(Body::Moon, c.instant, options);
    EXPECT_EQ(message(error), message(moon ? engine.position(Body::Sun, c.instant, options).error() : moon.error()));
  }
}

}  // namespace
}  // namespace ephemeris
