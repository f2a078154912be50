// Engines over JPL DE421 for the engine tests, with and without the
// leap-second kernel and the IERS EOP 20 C04 table.
#pragma once

#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "time/testing/real_data.h"

namespace ephemeris::testing {

inline const std::string kAnySha256(64, 'a');

inline SpkEphemeris open_de421() {
  auto engine = SpkEphemeris::open(EPHEMERIS_DE421_PATH, kAnySha256);
  EXPECT_TRUE(engine.has_value()) << message(engine.error());
  return std::move(*engine);
}

inline LeapSecondKernel test_leap_seconds() {
  static constexpr std::string_view kText =
#include "time/testdata/leap_second_kernel.inc"
      ;
  auto kernel = LeapSecondKernel::from_text(kText, "test.tls", kAnySha256);
  EXPECT_TRUE(kernel.has_value());
  return std::move(*kernel);
}

inline EarthOrientationTable c04_table() {
  auto table = EarthOrientationTable::open(EPHEMERIS_EOPC04_PATH, kAnySha256);
  EXPECT_TRUE(table.has_value()) << message(table.error());
  return std::move(*table);
}

// DE421 with the test leap-second kernel and the C04 table.
inline SpkEphemeris de421_with_time_kernels() {
  return open_de421().with_time_kernels(test_leap_seconds(), c04_table());
}

// A test on DE421 and the C04 table: it fails, naming what is missing, when
// they are not there.
class RealDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(have_de421());
    ASSERT_TRUE(have_eopc04());
  }
};

}  // namespace ephemeris::testing
