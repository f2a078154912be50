#include "engine/relative_state.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/constants.h"
#include "engine/corrections.h"
#include "spk/center_chain.h"
#include "spk/testing/spk_writer.h"
#include "time/testing/real_data.h"

namespace ephemeris {
namespace {

#include "spk/testdata/de421_reference.inc"

using testing::KernelSpec;
using testing::SegmentSpec;

constexpr std::size_t kLightTimeEpochCount = std::size(kDe421LightTimeEpochs);

// A kernel of these segments, read from memory.
SpkKernel open_kernel(const std::vector<SegmentSpec>& segments) {
  KernelSpec spec;
  spec.segments = segments;
  return SpkKernel::from_bytes(testing::build_kernel(spec).bytes).value();
}

// Constant position over [start, start + 1000], zero velocity.
SegmentSpec fixed(std::int32_t target, std::int32_t center, std::array<double, 3> position) {
  return testing::linear_segment(target, center, 0.0, 1000.0, 1, position, {0, 0, 0});
}

// Moving position (velocity in km/s), one record per 100 s.
SegmentSpec moving(std::int32_t target, std::int32_t center, std::array<double, 3> position,
                   std::array<double, 3> velocity) {
  return testing::linear_segment(target, center, 0.0, 100.0, 10, position, velocity, 0.375);
}

TEST(RelativeState, IdenticalTargetAndCentreIsZeroWithoutReading) {
  std::vector<SpkKernel> none;
  const Corrections all{true, true, true, true, true};
  EXPECT_EQ(resolve_relative_state(none, 399, 399, all, std::nullopt, 0.0).value(), StateVector{});
  EXPECT_EQ(message(resolve_relative_state(none, 499, 399, {}, std::nullopt, 0.0).error()),
            "no SPK segment continues the center chain from target 399 at TDB epoch 0");
}

TEST(RelativeState, GeometricIsTargetMinusObserverPlusOffset) {
  std::vector<SpkKernel> kernels;
  kernels.push_back(open_kernel({fixed(3, 0, {100, 200, 300}), fixed(399, 3, {1, 2, 3}), fixed(4, 0, {-50, 0, 5}),
                                 fixed(499, 4, {0.5, 0.25, 0.125})}));
  const StateVector mars = resolve_relative_state(kernels, 499, 399, {}, std::nullopt, 10.0).value();
  EXPECT_EQ(mars.position_km, (std::array<double, 3>{(0.5 + -50) - 101, (0.25 + 0) - 202, (0.125 + 5) - 303}));
  const CartesianState site{{6000, 0, 0}, {0, 0.4, 0}};
  const StateVector from_site = resolve_relative_state(kernels, 399, 399, {}, site, 10.0).value();
  EXPECT_EQ(from_site.position_km, (std::array<double, 3>{-6000, 0, 0}));
  EXPECT_EQ(from_site.velocity_km_per_s, (std::array<double, 3>{0, -0.4, 0}));
}

TEST(RelativeState, LightTimeSolvesTheRetardedPosition) {
  // A target receding along x at 30 km/s, seen from the barycentre.
  const double speed = 30.0;
  std::vector<SpkKernel> kernels;
  kernels.push_back(open_kernel({testing::linear_segment(499, 0, -1.0e6, 2.0e6, 1, {1.0e9, 0, 0}, {speed, 0, 0})}));
  const double t = 1000.0;
  const Corrections light_time{.light_time = true};
  const StateVector seen = resolve_relative_state(kernels, 499, 0, light_time, std::nullopt, t).value();
  // Fixed point of tau = x(t - tau) / c for x(t) = x0 + v t.
  const double x_now = 1.0e9 + speed * t;
  const double tau = x_now / (kSpeedOfLightKmPerS + speed);
  const double expected = 1.0e9 + speed * (t - tau);
  std::printf("light-time position: wanted %.6f km, got %.6f km\n", expected, seen.position_km[0]);
  // Three iterations leave an error of about tau (v/c)^3 v, far below 1e-6 km.
  EXPECT_NEAR(seen.position_km[0], expected, 1e-6);
  EXPECT_EQ(seen.velocity_km_per_s[0], speed);
}

TEST(RelativeState, DeflectionSkipsTheSunAndAberrationTurnsTheDirection) {
  std::vector<SpkKernel> kernels;
  kernels.push_back(open_kernel({moving(10, 0, {1.0e5, 2.0e5, 3.0e4}, {0.01, -0.01, 0.0}),
                                 moving(399, 0, {1.4e8, 4.0e7, 1.0e7}, {-8.0, 28.0, 12.0}),
                                 moving(499, 0, {-2.0e8, 1.0e8, 5.0e7}, {-10.0, -20.0, -5.0})}));
  const Corrections none{};
  const Corrections deflection{.gravitational_deflection = true};
  const Corrections aberration{.aberration = true};
  const double t = 250.0;
  for (auto [target, center] : {std::pair{10, 399}, std::pair{499, 10}}) {
    EXPECT_EQ(resolve_relative_state(kernels, target, center, deflection, std::nullopt, t).value(),
              resolve_relative_state(kernels, target, center, none, std::nullopt, t).value());
  }
  const StateVector geometric = resolve_relative_state(kernels, 499, 399, none, std::nullopt, t).value();
  const StateVector observer = barycentric_state_across_kernels(kernels, 399, t).value();
  EXPECT_EQ(resolve_relative_state(kernels, 499, 399, aberration, std::nullopt, t).value(),
            apply_stellar_aberration(geometric, observer.velocity_km_per_s));
  const StateVector sun = barycentric_state_across_kernels(kernels, 10, t).value();
  EXPECT_EQ(resolve_relative_state(kernels, 499, 399, deflection, std::nullopt, t).value(),
            apply_solar_gravitational_deflection(geometric, observer.position_km, sun.position_km));
}

TEST(RejectIdentical, SameCodesAreAnInvalidRequest) {
  EXPECT_TRUE(reject_identical_target_and_center(499, 399).has_value());
  const auto error = reject_identical_target_and_center(10, 10);
  ASSERT_FALSE(error.has_value());
  EXPECT_EQ(error.error().kind(), EphemerisError::Kind::InvalidRequest);
  EXPECT_EQ(message(error.error()), "spherical coordinates are undefined when target and origin are identical");
}

class RelativeStateDe421 : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testing::have_de421());
    auto kernel = SpkKernel::open(EPHEMERIS_DE421_PATH);
    ASSERT_TRUE(kernel.has_value()) << message(kernel.error());
    kernels_.push_back(std::move(*kernel));
  }
  std::vector<SpkKernel> kernels_;
};

// CSPICE's converged light time ("CN") and the three fixed iterations here
// agree to far below a microsecond, but the retarded epoch t - tau is itself
// a double: near the ends of DE421 (|t| ~ 3e9 s) its spacing is 4.8e-7 s, and
// two solutions that differ by 1e-8 s can land on neighbouring epochs. The
// tolerance is therefore 1e-6 km plus the target's speed times that spacing.
TEST_F(RelativeStateDe421, LightTimeCorrectedGeocentricPositionsMatchCspice) {
  double worst = 0.0;
  double worst_near_j2000 = 0.0;  // |t| < 5e8 s, where the epoch spacing is below 1e-7 s
  for (std::size_t b = 0; b < std::size(kDe421LightTimeTargets); ++b) {
    for (std::size_t j = 0; j < kLightTimeEpochCount; ++j) {
      const double* wanted = kDe421LightTimeStates[b * kLightTimeEpochCount + j];
      const auto state = resolve_relative_state(kernels_, kDe421LightTimeTargets[b], 399,
                                                Corrections{.light_time = true}, std::nullopt,
                                                kDe421LightTimeEpochs[j]);
      ASSERT_TRUE(state.has_value()) << message(state.error());
      const double t = kDe421LightTimeEpochs[j];
      const StateVector target = barycentric_state_across_kernels(kernels_, kDe421LightTimeTargets[b], t).value();
      const auto& v = target.velocity_km_per_s;
      const double speed = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
      const double epoch_spacing = std::nextafter(std::fabs(t), INFINITY) - std::fabs(t);
      const double tolerance = 1e-6 + speed * epoch_spacing;
      for (int k = 0; k < 3; ++k) {
        const double d = std::fabs(state->position_km[k] - wanted[k]);
        worst = std::max(worst, d);
        if (std::fabs(t) < 5e8) worst_near_j2000 = std::max(worst_near_j2000, d);
        EXPECT_LE(d, tolerance) << "target " << kDe421LightTimeTargets[b] << " epoch " << kDe421LightTimeEpochs[j]
                           << " wanted " << wanted[k] << " got " << state->position_km[k];
      }
    }
  }
  std::printf("DE421 light time vs CSPICE spkezr CN: largest position difference %.3g km (%.3g km for |t| < 5e8 s)\n",
              worst, worst_near_j2000);
}

}  // namespace
}  // namespace ephemeris
