// The state of a target as seen from a centre (or a site offset from it),
// with the light-time, deflection and aberration corrections of a request.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>

#include "core/cartesian_state.h"
#include "core/errors.h"
#include "core/position_options.h"
#include "spk/spk_error.h"
#include "spk/spk_kernel.h"
#include "spk/type2.h"

namespace ephemeris {

// What every target of one request shares at one epoch (TDB seconds past
// J2000): the observer's barycentric state (the centre's plus the site
// offset) and the Sun's, each evaluated when first asked for and then kept.
// A failed evaluation keeps nothing, so asking again fails the same way.
class EpochLinks {
 public:
  EpochLinks(std::span<SpkKernel> kernels, std::int32_t center, const std::optional<CartesianState>& observer_offset,
             double epoch)
      : kernels_(kernels), center_(center), offset_(observer_offset), epoch_(epoch) {}

  std::span<SpkKernel> kernels() const { return kernels_; }
  std::int32_t center() const { return center_; }
  bool has_offset() const { return offset_.has_value(); }
  double epoch() const { return epoch_; }

  // Barycentric state of the observer, km and km/s.
  std::expected<const StateVector*, SpkError> observer();
  // Barycentric state of the Sun, km and km/s.
  std::expected<const StateVector*, SpkError> sun();

 private:
  std::span<SpkKernel> kernels_;
  std::int32_t center_;
  std::optional<CartesianState> offset_;
  double epoch_;
  std::optional<StateVector> observer_;
  std::optional<StateVector> sun_;
};

// State of `target` relative to the observer of `links` at its epoch, km and
// km/s. Reads only the light_time, aberration and gravitational_deflection
// switches of `corrections`, applied in that order. With light time the
// target is evaluated four times (at t, then three times at t - tau, tau
// measured from the observer at t). The result and the error are those of
// the evaluation alone, whatever `links` already holds.
std::expected<StateVector, SpkError> resolve_relative_state(EpochLinks& links, std::int32_t target,
                                                            const Corrections& corrections);

// The same with links of its own: `target` relative to `center` plus
// `observer_offset` at `epoch`.
std::expected<StateVector, SpkError> resolve_relative_state(std::span<SpkKernel> kernels, std::int32_t target,
                                                            std::int32_t center, const Corrections& corrections,
                                                            const std::optional<CartesianState>& observer_offset,
                                                            double epoch);

// InvalidRequest "spherical coordinates are undefined when target and origin
// are identical" when the two codes are equal.
std::expected<void, EphemerisError> reject_identical_target_and_center(std::int32_t target, std::int32_t center);

}  // namespace ephemeris
