#include "engine/corrections.h"

#include <cmath>

#include <gtest/gtest.h>

#include "core/constants.h"

namespace ephemeris {
namespace {

using Vec3 = std::array<double, 3>;

double norm(const Vec3& v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

double angle_between(const Vec3& a, const Vec3& b) {
  const Vec3 c = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
  return std::atan2(norm(c), a[0] * b[0] + a[1] * b[1] + a[2] * b[2]);
}

constexpr double kArcsecondsPerRadian = 206264.80624709636;

TEST(RotateState, SameOrOppositeVectorsLeaveTheStateAlone) {
  const CartesianState state{{1.25, -3.5, 7.0}, {0.1, 0.2, -0.3}};
  const Vec3 a = {0.6, 0.8, 0.0};
  EXPECT_EQ(rotate_state(state, a, a), state);
  EXPECT_EQ(rotate_state(state, a, {-0.6, -0.8, -0.0}), state);
}

TEST(RotateState, QuarterTurnAboutZ) {
  const CartesianState state{{2.0, 0.0, 1.0}, {0.0, 3.0, 0.0}};
  const CartesianState turned = rotate_state(state, {1, 0, 0}, {0, 1, 0});
  EXPECT_NEAR(turned.position_km[0], 0.0, 1e-15);
  EXPECT_NEAR(turned.position_km[1], 2.0, 1e-15);
  EXPECT_EQ(turned.position_km[2], 1.0);
  EXPECT_NEAR(turned.velocity_km_per_s[0], -3.0, 1e-15);
  EXPECT_NEAR(turned.velocity_km_per_s[1], 0.0, 1e-15);
}

TEST(StellarAberration, TurnsByVOverCAndKeepsTheDistance) {
  const CartesianState state{{1.0e8, 0.0, 0.0}, {1.0, 2.0, 3.0}};
  const Vec3 velocity = {0.0, 30.0, 0.0};  // perpendicular to the line of sight
  const CartesianState seen = apply_stellar_aberration(state, velocity);
  const double angle = angle_between(state.position_km, seen.position_km);
  const double wanted = std::atan(30.0 / kSpeedOfLightKmPerS);
  std::printf("aberration: wanted %.9f arcsec, got %.9f arcsec\n", wanted * kArcsecondsPerRadian,
              angle * kArcsecondsPerRadian);
  EXPECT_NEAR(angle, wanted, 1e-12);  // u + V/c turns by atan(v/c) exactly for V perpendicular
  EXPECT_NEAR(norm(seen.position_km), 1.0e8, 1e-7);
  EXPECT_GT(seen.position_km[1], 0.0);  // towards the observer's motion
  EXPECT_NEAR(norm(seen.velocity_km_per_s), norm(state.velocity_km_per_s), 1e-14);
  const CartesianState origin{{0, 0, 0}, {1, 2, 3}};
  EXPECT_EQ(apply_stellar_aberration(origin, velocity), origin);
}

TEST(SolarDeflection, StarlightGrazingTheLimbBendsByOnePointSevenFiveArcseconds) {
  const double solar_radius = 696000.0;
  const Vec3 sun = {0.0, 0.0, 0.0};
  const Vec3 observer = {-kKmPerAu, 0.0, 0.0};
  // A target very far behind the Sun whose line of sight passes at one solar radius.
  const double far = 1.0e16;
  const Vec3 direction = {kKmPerAu, solar_radius, 0.0};
  const double length = norm(direction);
  const CartesianState state{{direction[0] / length * far, direction[1] / length * far, 0.0}, {0, 0, 0}};
  const double impact = kKmPerAu * solar_radius / length;  // Sun's distance from the line of sight
  const CartesianState seen = apply_solar_gravitational_deflection(state, observer, sun);
  const double angle = angle_between(state.position_km, seen.position_km) * kArcsecondsPerRadian;
  const double wanted = 2.0 * kSunSchwarzschildRadiusKm / impact * kArcsecondsPerRadian;
  std::printf("limb deflection: wanted %.6f arcsec, got %.6f arcsec\n", wanted, angle);
  EXPECT_NEAR(angle, wanted, 1e-3 * wanted);  // the far-target limit holds to first order in R/AU
  EXPECT_GT(seen.position_km[1], state.position_km[1]);  // pushed away from the Sun
  EXPECT_NEAR(norm(seen.position_km), far, far * 1e-15);
}

TEST(SolarDeflection, DegenerateGeometriesAreLeftAlone) {
  const Vec3 observer = {-kKmPerAu, 0.0, 0.0};
  const Vec3 sun = {0.0, 0.0, 0.0};
  const CartesianState behind{{2.0 * kKmPerAu, 0.0, 0.0}, {1, 1, 1}};  // exactly behind the Sun
  EXPECT_EQ(apply_solar_gravitational_deflection(behind, observer, sun), behind);
  const CartesianState at_observer{{0, 0, 0}, {1, 1, 1}};
  EXPECT_EQ(apply_solar_gravitational_deflection(at_observer, observer, sun), at_observer);
  const CartesianState anywhere{{1.0e8, 2.0e7, 0}, {1, 1, 1}};
  EXPECT_EQ(apply_solar_gravitational_deflection(anywhere, sun, sun), anywhere);  // observer at the Sun
  const CartesianState at_sun{{kKmPerAu, 0, 0}, {1, 1, 1}};
  EXPECT_EQ(apply_solar_gravitational_deflection(at_sun, observer, sun), at_sun);  // target at the Sun
}

}  // namespace
}  // namespace ephemeris
