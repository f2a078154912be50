// Interrupting a batch: the check is polled at bounded intervals, a stop
// ends the batch with Interrupted, and a check that never stops changes no bit.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "engine/testing/de421_engines.h"

namespace ephemeris {
namespace {

// Counts its polls and asks to stop at poll `stop_at` (never when 0).
struct CountingCheck {
  std::size_t polls = 0;
  std::size_t stop_at = 0;
  InterruptCheck check() {
    return InterruptCheck(
        [](void* self) {
          auto* counter = static_cast<CountingCheck*>(self);
          return ++counter->polls == counter->stop_at;
        },
        this);
  }
};

PositionOptions with_light_time(bool light_time) {
  PositionOptions options;
  options.corrections.light_time = light_time;
  return options;
}

using InterruptCheckTest = testing::RealDataTest;

TEST_F(InterruptCheckTest, BatchesPollAtBoundedIntervalsAndStopCleanly) {
  const SpkEphemeris engine = testing::open_de421();
  const std::vector<Body> bodies = {Body::Moon, Body::Mars};
  std::vector<Instant> instants;
  for (int i = 0; i < 10000; ++i) instants.push_back({2451545.0 + 0.37 * i, TimeScale::Tdb});
  for (const bool corrected : {false, true}) {
    const PositionOptions options = with_light_time(corrected);
    const auto plain = engine.positions(bodies, instants, options);
    ASSERT_TRUE(plain.has_value());
    CountingCheck never;
    const auto checked = engine.positions(bodies, instants, options, never.check());
    ASSERT_TRUE(checked.has_value());
    ASSERT_EQ(std::memcmp(plain->data(), checked->data(), plain->size() * sizeof(Position)), 0);
    // Conversions polled every 256 instants; corrected positions every 256, uncorrected instants every 4096.
    const std::size_t expected_polls = corrected ? 40 + 79 : 40 + 3;
    EXPECT_EQ(never.polls, expected_polls) << corrected;

    CountingCheck stopping{0, expected_polls};
    const auto stopped = engine.positions(bodies, instants, options, stopping.check());
    ASSERT_FALSE(stopped.has_value());
    EXPECT_EQ(stopped.error().kind(), EphemerisError::Kind::Interrupted);
    EXPECT_EQ(message(stopped.error()), "interrupted");
    // The engine serves the next batch as before.
    const auto again = engine.positions(bodies, instants, options);
    ASSERT_EQ(std::memcmp(plain->data(), again->data(), plain->size() * sizeof(Position)), 0);
  }
}

}  // namespace
}  // namespace ephemeris
