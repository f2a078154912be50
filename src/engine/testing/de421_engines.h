// Engines over JPL DE421 for the engine tests, with and without the
// leap-second kernel and the IERS EOP 20 C04 table, and the angle between
// two directions.
#pragma once

#include <array>
#include <cmath>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "time/testing/real_data.h"

namespace ephemeris::testing {

inline const std::string kAnySha256(64, 'a');

// The angle between two vectors (radians), accurate at every size.
inline double angle_between(const std::array<double, 3>& a, const std::array<double, 3>& b) {
  const std::array<double, 3> c = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
  return std::atan2(std::hypot(c[0], c[1], c[2]), a[0] * b[0] + a[1] * b[1] + a[2] * b[2]);
}

inline SpkEphemeris open_de421() {
  auto engine = SpkEphemeris::open(EPHEMERIS_DE421_PATH, kAnySha256);
  EXPECT_TRUE(engine.has_value()) << message(engine.error());
  return std::move(*engine);
}

inline LeapSecondKernel test_leap_seconds() {
  static constexpr std::string_view kText =
#include "time/testdata/leap_second_kernel.inc"
      ;
  return LeapSecondKernel::from_text(kText, "test.tls", kAnySha256).value();
}

// DE421 with the test leap-second kernel and the C04 table.
inline SpkEphemeris de421_with_time_kernels() {
  auto table = EarthOrientationTable::open(EPHEMERIS_EOPC04_PATH, kAnySha256);
  EXPECT_TRUE(table.has_value()) << message(table.error());
  return open_de421().with_time_kernels(test_leap_seconds(), std::move(*table));
}

// One engine with both time kernels, opened on first use and shared by the
// tests of a binary. Call it from a RealDataTest only.
inline const SpkEphemeris& de421() {
  static const SpkEphemeris engine = de421_with_time_kernels();
  return engine;
}

// A test on DE421 and the C04 table: it fails, naming what is missing, when
// they are not there.
class RealDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(have_de421());
    ASSERT_TRUE(have_eopc04());
  }
  static const SpkEphemeris& de421() { return testing::de421(); }
};

}  // namespace ephemeris::testing
