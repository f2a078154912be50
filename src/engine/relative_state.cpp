#include "engine/relative_state.h"

#include <array>
#include <cmath>

#include "core/body.h"
#include "core/constants.h"
#include "engine/corrections.h"
#include "spk/center_chain.h"

namespace ephemeris {
namespace {

double distance_between(const std::array<double, 3>& a, const std::array<double, 3>& b) {
  const double dx = a[0] - b[0];
  const double dy = a[1] - b[1];
  const double dz = a[2] - b[2];
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

}  // namespace

std::expected<StateVector, SpkError> resolve_relative_state(std::span<SpkKernel> kernels, std::int32_t target,
                                                            std::int32_t center, const Corrections& corrections,
                                                            const std::optional<CartesianState>& observer_offset,
                                                            double epoch) {
  if (target == center && !observer_offset) return StateVector{};

  auto observer = barycentric_state_across_kernels(kernels, center, epoch);
  if (!observer) return std::unexpected(observer.error());
  if (observer_offset) *observer += *observer_offset;

  auto target_state = barycentric_state_across_kernels(kernels, target, epoch);
  if (!target_state) return std::unexpected(target_state.error());
  if (corrections.light_time) {
    // Three fixed iterations of the light-time equation, always measured from
    // the observer's position at the observation epoch.
    for (int iteration = 0; iteration < 3; ++iteration) {
      const double light_time = distance_between(target_state->position_km, observer->position_km) /
                                kSpeedOfLightKmPerS;
      target_state = barycentric_state_across_kernels(kernels, target, epoch - light_time);
      if (!target_state) return std::unexpected(target_state.error());
    }
  }

  StateVector relative = *target_state - *observer;
  if (corrections.gravitational_deflection && target != kNaifSun && center != kNaifSun) {
    const auto sun = barycentric_state_across_kernels(kernels, kNaifSun, epoch);
    if (!sun) return std::unexpected(sun.error());
    relative = apply_solar_gravitational_deflection(relative, observer->position_km, sun->position_km);
  }
  if (corrections.aberration) relative = apply_stellar_aberration(relative, observer->velocity_km_per_s);
  return relative;
}

std::expected<void, EphemerisError> reject_identical_target_and_center(std::int32_t target, std::int32_t center) {
  if (target == center) {
    return std::unexpected(EphemerisError::invalid_request(
        "spherical coordinates are undefined when target and origin are identical"));
  }
  return {};
}

}  // namespace ephemeris
