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

std::expected<const StateVector*, SpkError> EpochLinks::observer() {
  if (!observer_) {
    auto state = barycentric_state_across_kernels(kernels_, center_, epoch_);
    if (!state) return std::unexpected(state.error());
    if (offset_) *state += *offset_;
    observer_ = *state;
  }
  return &*observer_;
}

std::expected<const StateVector*, SpkError> EpochLinks::sun() {
  if (!sun_) {
    auto state = barycentric_state_across_kernels(kernels_, kNaifSun, epoch_);
    if (!state) return std::unexpected(state.error());
    sun_ = *state;
  }
  return &*sun_;
}

std::expected<StateVector, SpkError> resolve_relative_state(EpochLinks& links, std::int32_t target,
                                                            const Corrections& corrections) {
  if (target == links.center() && !links.has_offset()) return StateVector{};
  const double epoch = links.epoch();

  const auto observer_link = links.observer();
  if (!observer_link) return std::unexpected(observer_link.error());
  const StateVector& observer = **observer_link;

  // The Sun at t is the deflecting body's state: one evaluation serves both.
  std::expected<StateVector, SpkError> target_state = StateVector{};
  if (target == kNaifSun) {
    const auto sun = links.sun();
    if (!sun) return std::unexpected(sun.error());
    *target_state = **sun;
  } else {
    target_state = barycentric_state_across_kernels(links.kernels(), target, epoch);
    if (!target_state) return std::unexpected(target_state.error());
  }
  if (corrections.light_time) {
    // Three fixed iterations of the light-time equation, always measured from
    // the observer's position at the observation epoch.
    for (int iteration = 0; iteration < 3; ++iteration) {
      const double light_time = distance_between(target_state->position_km, observer.position_km) /
                                kSpeedOfLightKmPerS;
      target_state = barycentric_state_across_kernels(links.kernels(), target, epoch - light_time);
      if (!target_state) return std::unexpected(target_state.error());
    }
  }

  StateVector relative = *target_state - observer;
  if (corrections.gravitational_deflection && target != kNaifSun && links.center() != kNaifSun) {
    const auto sun = links.sun();
    if (!sun) return std::unexpected(sun.error());
    relative = apply_solar_gravitational_deflection(relative, observer.position_km, (*sun)->position_km);
  }
  if (corrections.aberration) relative = apply_stellar_aberration(relative, observer.velocity_km_per_s);
  return relative;
}

std::expected<StateVector, SpkError> resolve_relative_state(std::span<SpkKernel> kernels, std::int32_t target,
                                                            std::int32_t center, const Corrections& corrections,
                                                            const std::optional<CartesianState>& observer_offset,
                                                            double epoch) {
  EpochLinks links(kernels, center, observer_offset, epoch);
  return resolve_relative_state(links, target, corrections);
}

std::expected<void, EphemerisError> reject_identical_target_and_center(std::int32_t target, std::int32_t center) {
  if (target == center) {
    return std::unexpected(EphemerisError::invalid_request(
        "spherical coordinates are undefined when target and origin are identical"));
  }
  return {};
}

}  // namespace ephemeris
