// The corrections against closed forms (rotation, aberration, light
// deflection at the solar limb) and their use in the relative state.
#include "engine/corrections.h"

#include <cmath>
#include <cstdio>

#include <gtest/gtest.h>

#include "core/constants.h"
#include "engine/relative_state.h"
#include "engine/testing/de421_engines.h"
#include "spk/center_chain.h"
#include "spk/testing/spk_writer.h"

namespace ephemeris {
namespace {

using Vec3 = std::array<double, 3>;

using testing::angle_between;

double norm(const Vec3& v) { return std::hypot(v[0], v[1], v[2]); }

TEST(Corrections, RotationTurnsPositionAndVelocity) {
  const CartesianState state{{2.0, 0.0, 1.0}, {0.0, 3.0, 0.0}};
  const CartesianState turned = rotate_state(state, {1, 0, 0}, {0, 1, 0});  // a quarter turn about z
  EXPECT_NEAR(angle_between(turned.position_km, {0.0, 2.0, 1.0}) + angle_between(turned.velocity_km_per_s, {-3, 0, 0}),
              0.0, 1e-15);
  EXPECT_EQ(rotate_state(state, {0.6, 0.8, 0.0}, {0.6, 0.8, 0.0}), state);
  EXPECT_EQ(rotate_state(state, {0.6, 0.8, 0.0}, {-0.6, -0.8, -0.0}), state);  // no axis: left alone
}

TEST(Corrections, AberrationTurnsByTheArctangentOfVOverC) {
  const CartesianState state{{1.0e8, 0.0, 0.0}, {1.0, 2.0, 3.0}};
  const CartesianState seen = apply_stellar_aberration(state, {0.0, 30.0, 0.0});  // perpendicular to the sight line
  EXPECT_NEAR(angle_between(state.position_km, seen.position_km), std::atan(30.0 / kSpeedOfLightKmPerS), 1e-12);
  EXPECT_GT(seen.position_km[1], 0.0);  // towards the observer's motion
  EXPECT_NEAR(norm(seen.position_km), 1.0e8, 1e-7);
  EXPECT_NEAR(norm(seen.velocity_km_per_s), norm(state.velocity_km_per_s), 1e-14);
  const CartesianState origin{{0, 0, 0}, {1, 2, 3}};
  EXPECT_EQ(apply_stellar_aberration(origin, {0.0, 30.0, 0.0}), origin);
}

TEST(Corrections, StarlightGrazingTheSolarLimbBendsByOnePointSevenFiveArcseconds) {
  const double solar_radius = 696000.0;
  const Vec3 sun = {0.0, 0.0, 0.0}, observer = {-kKmPerAu, 0.0, 0.0};
  // A target very far behind the Sun whose sight line passes at one solar radius.
  const double far = 1.0e16, length = std::hypot(kKmPerAu, solar_radius);
  const CartesianState state{{kKmPerAu / length * far, solar_radius / length * far, 0.0}, {0, 0, 0}};
  const CartesianState seen = apply_solar_gravitational_deflection(state, observer, sun);
  const double angle = angle_between(state.position_km, seen.position_km);
  const double wanted = 2.0 * kSunSchwarzschildRadiusKm / (kKmPerAu * solar_radius / length);
  std::printf("limb deflection: wanted %.6f arcsec, got %.6f arcsec\n", wanted / kRadiansPerArcsecond,
              angle / kRadiansPerArcsecond);
  EXPECT_NEAR(angle, wanted, 1e-3 * wanted);  // the far-target limit holds to first order in R/AU
  EXPECT_GT(seen.position_km[1], state.position_km[1]);  // away from the Sun
  EXPECT_NEAR(norm(seen.position_km), far, far * 1e-15);
  // Degenerate geometries are left alone: exactly behind the Sun, at the observer, at the Sun.
  const CartesianState behind{{2.0 * kKmPerAu, 0.0, 0.0}, {1, 1, 1}}, here{{0, 0, 0}, {1, 1, 1}};
  const CartesianState at_sun{{kKmPerAu, 0, 0}, {1, 1, 1}};
  EXPECT_EQ(apply_solar_gravitational_deflection(behind, observer, sun), behind);
  EXPECT_EQ(apply_solar_gravitational_deflection(here, observer, sun), here);
  EXPECT_EQ(apply_solar_gravitational_deflection(at_sun, observer, sun), at_sun);
  EXPECT_EQ(apply_solar_gravitational_deflection(state, sun, sun), state);
}

TEST(RelativeState, AppliesTheOffsetAndTheCorrectionsExceptDeflectionAtTheSun) {
  const auto moving = [](std::int32_t target, Vec3 position, Vec3 velocity) {
    return testing::linear_segment(target, 0, 0.0, 100.0, 10, position, velocity, 0.375);
  };
  std::vector<SpkKernel> kernels;
  kernels.push_back(testing::kernel_of({moving(10, {1.0e5, 2.0e5, 3.0e4}, {0.01, -0.01, 0.0}),
                                        moving(399, {1.4e8, 4.0e7, 1.0e7}, {-8.0, 28.0, 12.0}),
                                        moving(499, {-2.0e8, 1.0e8, 5.0e7}, {-10.0, -20.0, -5.0})}));
  const double t = 900.0;  // light time reaches back at most 750 s
  const auto relative = [&](std::int32_t target, std::int32_t center, Corrections c,
                            std::optional<CartesianState> offset = std::nullopt) {
    return resolve_relative_state(kernels, target, center, c, offset, t).value();
  };
  const StateVector earth = barycentric_state_across_kernels(kernels, 399, t).value();
  const StateVector sun = barycentric_state_across_kernels(kernels, 10, t).value();
  const StateVector geometric = relative(499, 399, {});
  EXPECT_EQ(geometric, barycentric_state_across_kernels(kernels, 499, t).value() - earth);
  const CartesianState site{{6000, 0, 0}, {0, 0.4, 0}};
  const StateVector from_site = relative(399, 399, {}, site);
  EXPECT_NEAR(from_site.position_km[0], -6000.0, 1e-7);
  EXPECT_NEAR(from_site.velocity_km_per_s[1], -0.4, 1e-12);
  const Corrections deflection{.gravitational_deflection = true};
  EXPECT_EQ(relative(499, 399, deflection),
            apply_solar_gravitational_deflection(geometric, earth.position_km, sun.position_km));
  const Corrections light_time{.light_time = true}, deflected{.light_time = true, .gravitational_deflection = true};
  EXPECT_EQ(relative(10, 399, deflected), relative(10, 399, light_time));
  EXPECT_EQ(relative(499, 10, deflected), relative(499, 10, light_time));
  EXPECT_EQ(relative(499, 399, {.aberration = true}), apply_stellar_aberration(geometric, earth.velocity_km_per_s));
}

TEST(RelativeState, LightTimeIsThreeIteratesFromTheObserverAtT) {
  // Near t = 0 the iterates fall on distinct epochs; near 1e9 s (an ulp of
  // 1.2e-7 s) the last two, or for the slow Sun seen from the barycentre the
  // last three, fall on the same epoch and are evaluated once.
  std::vector<testing::SegmentSpec> segments;
  for (const double start : {-2000.0, 1e9 - 2000.0}) {
    const auto moving = [&](std::int32_t target, Vec3 position, Vec3 velocity) {
      segments.push_back(testing::linear_segment(target, 0, start, 100.0, 40, position, velocity, 0.375));
    };
    moving(10, {1.0e5, 2.0e5, 3.0e4}, {1e-4, -1e-4, 0.0});
    moving(399, {1.4e8, 4.0e7, 1.0e7}, {-8.0, 28.0, 12.0});
    moving(499, {-2.0e8, 1.0e8, 5.0e7}, {-10.0, -20.0, -5.0});
  }
  std::vector<SpkKernel> kernels;
  kernels.push_back(testing::kernel_of(segments));
  const auto state = [&](std::int32_t code, double epoch) {
    return barycentric_state_across_kernels(kernels, code, epoch).value();
  };
  for (const double t : {950.0, 1e9 + 950.0}) {
    for (const auto& [target, center] : {std::pair{499, 399}, {10, 399}, {399, 10}, {499, 0}, {10, 0}}) {
      const StateVector observer = state(center, t);
      StateVector seen = state(target, t);
      for (int iteration = 0; iteration < 3; ++iteration) {
        const double dx = seen.position_km[0] - observer.position_km[0];
        const double dy = seen.position_km[1] - observer.position_km[1];
        const double dz = seen.position_km[2] - observer.position_km[2];
        seen = state(target, t - std::sqrt(dx * dx + dy * dy + dz * dz) / kSpeedOfLightKmPerS);
      }
      EXPECT_EQ(resolve_relative_state(kernels, target, center, {.light_time = true}, std::nullopt, t).value(),
                seen - observer)
          << target << " from " << center << " at " << t;
    }
  }
}

}  // namespace
}  // namespace ephemeris
