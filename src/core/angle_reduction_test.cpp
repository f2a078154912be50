#include "core/angle_reduction.h"

#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

namespace ephemeris {
namespace {

constexpr double kPi = std::numbers::pi;

TEST(AngleReduction, OneTurnAndTheSignedWrapsKeepTheirEnds) {
  EXPECT_EQ(reduce_angle(-90.0, 360.0), 270.0);
  EXPECT_EQ(reduce_angle(720.0, 360.0), 0.0);
  EXPECT_EQ(reduce_angle(-1e-20, 360.0), 0.0);  // would round up to one turn
  EXPECT_TRUE(std::isnan(reduce_angle(INFINITY, kTwoPi)));

  EXPECT_EQ(wrap_signed_radians(kPi), -kPi);  // [-pi, pi): pi itself wraps to -pi
  EXPECT_EQ(wrap_signed_radians(-kPi), -kPi);
  EXPECT_NEAR(wrap_signed_radians(3.0 * kTwoPi + 1.0), 1.0, 1e-12);
  EXPECT_EQ(wrap_signed_radians(-0.5), -0.5);

  EXPECT_EQ(wrap_signed_degrees(180.0), 180.0);  // (-180, 180]: -180 becomes 180
  EXPECT_EQ(wrap_signed_degrees(-180.0), 180.0);
  EXPECT_NEAR(wrap_signed_degrees(350.0), -10.0, 1e-12);
  EXPECT_NEAR(wrap_signed_degrees(-725.0), -5.0, 1e-12);
}

}  // namespace
}  // namespace ephemeris
