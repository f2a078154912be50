// Cartesian states, their spherical and ecliptic forms, and angle reduction.
#include "core/cartesian_state.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <numbers>

#include <gtest/gtest.h>

#include "core/angle_reduction.h"
#include "core/constants.h"

namespace ephemeris {
namespace {

CartesianState state(double x, double y, double z, double vx = 0, double vy = 0, double vz = 0) {
  return CartesianState{{x, y, z}, {vx, vy, vz}};
}

TEST(ToSpherical, AnglesDistanceSpeedAndRefusals) {
  EXPECT_EQ(to_spherical(state(0, -1, 0))->longitude_deg, 270.0);
  EXPECT_EQ(to_spherical(state(-1, -0.0, 0))->longitude_deg, 180.0);  // atan2(-0, -1) is -pi: one turn added
  const auto s = to_spherical(state(1, 1, std::sqrt(2.0))).value();
  EXPECT_DOUBLE_EQ(s.latitude_deg, 45.0);
  EXPECT_DOUBLE_EQ(s.distance, 2.0);
  const double speed = to_spherical(state(3, 4, 9, 1, 2, 5))->longitude_speed_deg_per_day;
  EXPECT_DOUBLE_EQ(speed, (3 * 2 - 4 * 1) / 25.0 * kDegreesPerRadian * 86400);  // (x vy - y vx) / (x^2 + y^2)
  EXPECT_EQ(to_spherical(state(0, 0, 0, 1, 2, 3)).error(), CoordinateError::AtOrigin);
  EXPECT_EQ(to_spherical(state(0, 0, 5)).error(), CoordinateError::OnZAxis);
  EXPECT_EQ(to_spherical(state(1, 0, 0, 0, 0, NAN)).error(), CoordinateError::NonFinite);
  EXPECT_EQ(to_spherical(state(-INFINITY, 0, 0)).error(), CoordinateError::NonFinite);
}

TEST(ToJ2000Ecliptic, RotatesAboutXByTheJ2000Obliquity) {
  // The literals are the cosine (correctly rounded) and the sine one ulp below libm's.
  EXPECT_EQ(kCosObliquityJ2000, std::cos(kObliquityJ2000Rad));
  EXPECT_EQ(kSinObliquityJ2000, std::nextafter(std::sin(kObliquityJ2000Rad), 0.0));
  const double c = kCosObliquityJ2000, s = kSinObliquityJ2000;
  const auto r = to_j2000_ecliptic(state(0, 1, 1, 0, 0, 2)).value();
  EXPECT_EQ(r.position_km, (std::array<double, 3>{0.0, c + s, c - s}));
  EXPECT_EQ(r.velocity_km_per_s, (std::array<double, 3>{0.0, 2 * s, 2 * c}));
  EXPECT_EQ(to_j2000_ecliptic(state(1, 0, 0, NAN, 0, 0)).error(), CoordinateError::NonFinite);
}

TEST(AngleReduction, OneTurnAndTheSignedWrapsKeepTheirEnds) {
  constexpr double kPi = std::numbers::pi;
  EXPECT_EQ(reduce_angle(-90.0, 360.0), 270.0);
  EXPECT_EQ(reduce_angle(-1e-20, 360.0), 0.0);  // would round up to one turn
  EXPECT_TRUE(std::isnan(reduce_angle(INFINITY, kTwoPi)));
  EXPECT_EQ(wrap_signed_radians(kPi), -kPi);  // [-pi, pi): pi itself wraps to -pi
  EXPECT_EQ(wrap_signed_radians(-kPi), -kPi);
  EXPECT_NEAR(wrap_signed_radians(3.0 * kTwoPi + 1.0), 1.0, 1e-12);
  EXPECT_EQ(wrap_signed_degrees(-180.0), 180.0);  // (-180, 180]: -180 becomes 180
  EXPECT_NEAR(wrap_signed_degrees(350.0), -10.0, 1e-12);
  EXPECT_NEAR(wrap_signed_degrees(-725.0), -5.0, 1e-12);
}

TEST(AngleReduction, WholeDivisorRemainderIsFmodBitForBit) {
  const auto same = [](double x, double divisor) {
    const double fast = whole_divisor_remainder(x, divisor), library = std::fmod(x, divisor);
    if (std::isnan(library)) return std::isnan(fast);
    return std::bit_cast<std::uint64_t>(fast) == std::bit_cast<std::uint64_t>(library);
  };
  std::uint64_t seed = 1;
  for (const double divisor : {360.0, 1296000.0}) {
    // Whole multiples and their neighbours (where the quotient rounds across
    // a whole number), signed zeros, huge values and non-finite ones.
    for (const double n : {0.0, 1.0, 3.0, 1000.0, 1717.0, 2147483647.0, 2147483648.0, 1e15}) {
      for (const double sign : {1.0, -1.0}) {
        double x = sign * n * divisor;
        for (int step = 0; step < 4; ++step) x = std::nextafter(x, -INFINITY);
        for (int step = 0; step < 8; ++step, x = std::nextafter(x, INFINITY)) EXPECT_TRUE(same(x, divisor)) << x;
      }
    }
    for (const double x : {0.0, -0.0, double{INFINITY}, -double{INFINITY}, double{NAN}, 1e300}) EXPECT_TRUE(same(x, divisor)) << x;
    // Arguments over +-3e9 (the fundamental arguments over +-1.7 centuries) and +-1e5.
    for (int i = 0; i < 1000000; ++i) {
      seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
      const double unit = static_cast<double>(seed >> 11) * 0x1.0p-53 * 2.0 - 1.0;
      const double x = unit * (i % 2 == 0 ? 3e9 : 1e5);
      if (!same(x, divisor)) FAIL() << x << " " << divisor;
    }
  }
}

}  // namespace
}  // namespace ephemeris
