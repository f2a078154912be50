#include "engine/relative_state.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

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

void EpochLinks::plan(std::int32_t target, bool sun) {
  if (!has_observer_chain_) find_center_chain(kernels_, center_, epoch_, observer_chain_);
  if (!has_target_chain_ || target_chain_.target != target) find_center_chain(kernels_, target, epoch_, target_chain_);
  if (sun && !has_sun_chain_) find_center_chain(kernels_, kNaifSun, epoch_, sun_chain_);
  has_observer_chain_ = true;
  has_target_chain_ = true;
  has_sun_chain_ = has_sun_chain_ || sun;
}

std::expected<const StateVector*, SpkError> EpochLinks::observer() {
  if (!observer_) {
    auto state = has_observer_chain_ ? evaluate_center_chain(kernels_, observer_chain_, epoch_)
                                 : barycentric_state_across_kernels(kernels_, center_, epoch_);
    if (!state) return std::unexpected(state.error());
    if (offset_) *state += *offset_;
    observer_ = *state;
  }
  return &*observer_;
}

std::expected<const StateVector*, SpkError> EpochLinks::sun() {
  if (!sun_) {
    auto state = has_sun_chain_ ? evaluate_center_chain(kernels_, sun_chain_, epoch_)
                            : barycentric_state_across_kernels(kernels_, kNaifSun, epoch_);
    if (!state) return std::unexpected(state.error());
    sun_ = *state;
  }
  return &*sun_;
}

std::expected<const std::array<double, 3>*, SpkError> EpochLinks::sun_position() {
  if (sun_) return &sun_->position_km;
  if (!sun_position_) {
    auto position = has_sun_chain_ ? evaluate_center_chain_position(kernels_, sun_chain_, epoch_)
                               : barycentric_position_across_kernels(kernels_, kNaifSun, epoch_);
    if (!position) return std::unexpected(position.error());
    sun_position_ = *position;
  }
  return &*sun_position_;
}

std::expected<StateVector, SpkError> EpochLinks::state_of(std::int32_t target, double epoch) {
  if (!has_target_chain_ || target_chain_.target != target) {
    return barycentric_state_across_kernels(kernels_, target, epoch);
  }
  if (epoch == epoch_) return evaluate_center_chain(kernels_, target_chain_, epoch);
  CenterChain near;
  find_center_chain_near(kernels_, target_chain_, epoch, near);
  return evaluate_center_chain(kernels_, near, epoch);
}

std::expected<std::array<double, 3>, SpkError> EpochLinks::position_of(std::int32_t target, double epoch) {
  if (!has_target_chain_ || target_chain_.target != target) {
    return barycentric_position_across_kernels(kernels_, target, epoch);
  }
  if (epoch == epoch_) return evaluate_center_chain_position(kernels_, target_chain_, epoch);
  CenterChain near;
  find_center_chain_near(kernels_, target_chain_, epoch, near);
  return evaluate_center_chain_position(kernels_, near, epoch);
}

std::expected<StateVector, SpkError> resolve_relative_state(EpochLinks& links, std::int32_t target,
                                                            const Corrections& corrections) {
  if (target == links.center() && !links.has_offset()) return StateVector{};
  const double epoch = links.epoch();

  const auto observer_link = links.observer();
  if (!observer_link) return std::unexpected(observer_link.error());
  const StateVector& observer = **observer_link;

  // The Sun at t is the deflecting body's state: one evaluation serves both.
  StateVector target_state;
  if (target == kNaifSun) {
    const auto sun = links.sun();
    if (!sun) return std::unexpected(sun.error());
    target_state = **sun;
  } else if (!corrections.light_time) {
    auto state = links.state_of(target, epoch);
    if (!state) return std::unexpected(state.error());
    target_state = *state;
  }
  if (corrections.light_time) {
    // Three fixed iterations of the light-time equation, always measured from
    // the observer's position at the observation epoch; only the last
    // state's velocity is used. The last two iterates nearly always fall on
    // the same epoch (bit for bit: the light time changes by far less than
    // an ulp of the epoch), so the second is evaluated whole and serves the
    // third; an iterate at the very epoch of the one before it is that one
    // again and is not evaluated twice.
    std::array<double, 3> position = target_state.position_km;
    double position_epoch = epoch;
    bool has_velocity = target == kNaifSun;  // target_state holds the whole state at position_epoch
    if (target != kNaifSun) {
      const auto at_epoch = links.position_of(target, epoch);
      if (!at_epoch) return std::unexpected(at_epoch.error());
      position = *at_epoch;
    }
    for (int iteration = 0; iteration < 3; ++iteration) {
      const double light_time = distance_between(position, observer.position_km) / kSpeedOfLightKmPerS;
      const double earlier = epoch - light_time;
      const bool repeated = std::bit_cast<std::uint64_t>(earlier) == std::bit_cast<std::uint64_t>(position_epoch);
      if (repeated && (iteration == 0 || has_velocity)) continue;
      if (iteration == 0) {
        const auto state = links.position_of(target, earlier);
        if (!state) return std::unexpected(state.error());
        position = *state;
        has_velocity = false;
      } else {
        const auto state = links.state_of(target, earlier);
        if (!state) return std::unexpected(state.error());
        target_state = *state;
        position = state->position_km;
        has_velocity = true;
      }
      position_epoch = earlier;
    }
  }

  StateVector relative = target_state - observer;
  if (corrections.gravitational_deflection && target != kNaifSun && links.center() != kNaifSun) {
    const auto sun = links.sun_position();
    if (!sun) return std::unexpected(sun.error());
    relative = apply_solar_gravitational_deflection(relative, observer.position_km, **sun);
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
