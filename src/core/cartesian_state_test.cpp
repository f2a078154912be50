// Cartesian states, their spherical and ecliptic forms, and angle reduction.
#include "core/cartesian_state.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <random>

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

// Distance in units in the last place between two doubles of one sign.
std::int64_t ulps_apart(double a, double b) {
  const auto ordered = [](double v) {
    const auto bits = std::bit_cast<std::int64_t>(v);
    return bits < 0 ? INT64_MIN - bits : bits;
  };
  return std::llabs(ordered(a) - ordered(b));
}

TEST(Arctangent2, LibmsValuesAtTheEdgesAndWithinOneUlpElsewhere) {
  const double big = 0x1p1020, tiny = 0x1p-1000, inf = INFINITY;
  // libm's own cases (zeros, infinities, NaN, the edges of the polynomial's
  // domain) and exact quadrant angles, bit for bit.
  const double cases[][2] = {{0.0, 0.0},   {-0.0, 0.0}, {0.0, -0.0},  {-0.0, -0.0}, {0.0, -1.0}, {-0.0, -1.0},
                             {1.0, 0.0},   {1.0, -0.0}, {-1.0, 0.0},  {1.0, 1.0},   {-1.0, -1.0}, {1.0, -1.0},
                             {inf, inf},   {-inf, 1.0}, {1.0, -inf},  {NAN, 1.0},   {1.0, NAN},  {big, 1.0},
                             {1.0, -big},  {big, big},  {tiny / 2, tiny / 4},       {-tiny, -tiny}, {0.5, 1.0}};
  for (const auto& [y, x] : cases) {
    const double expected = std::atan2(y, x), got = arctangent2(y, x);
    EXPECT_TRUE(std::bit_cast<std::uint64_t>(got) == std::bit_cast<std::uint64_t>(expected) ||
                (std::isnan(got) && std::isnan(expected)))
        << y << ", " << x << ": " << got << " vs " << expected;
  }
  // Random directions over many magnitudes and mixed exponents: the
  // polynomial (relative error 7.7e-18) and the final rounding keep within one ulp.
  std::mt19937_64 random(20261206);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::uniform_int_distribution<int> exponent(-990, 1010);
  std::int64_t worst = 0;
  for (int i = 0; i < 4'000'000; ++i) {
    const double y = std::ldexp(unit(random), i % 2 ? 0 : exponent(random));
    const double x = std::ldexp(unit(random), i % 2 ? 0 : exponent(random));
    worst = std::max(worst, ulps_apart(arctangent2(y, x), std::atan2(y, x)));
  }
  EXPECT_EQ(worst, 1);
}

TEST(ToSpherical, LanesGiveTheScalarBitsOrFail) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  CartesianState states[kSphericalLanes];
  SphericalCoordinates lanes[kSphericalLanes];
  for (int group = 0; group < 20000; ++group) {
    for (auto& s : states) s = state(unit(random) * 1e9, unit(random) * 1e9, unit(random), unit(random), unit(random));
    if (group == 1) states[2].position_km[2] = 0x1p1021;  // outside the polynomial's domain: libm's angle
    if (group == 2) states[3].position_km = {0.0, 0.0, 1e-9};
    ASSERT_EQ(to_spherical_lanes(kSphericalLanes, states, lanes), group != 2);
    if (group == 2) continue;
    for (int l = 0; l < kSphericalLanes; ++l) {
      const auto scalar = to_spherical(states[l]).value();
      ASSERT_EQ(std::memcmp(&scalar, &lanes[l], sizeof scalar), 0) << group << " " << l;
    }
  }
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
