// The state of a target as seen from a centre (or a site offset from it),
// with the light-time, deflection and aberration corrections of a request.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>

#include "core/cartesian_state.h"
#include "core/errors.h"
#include "core/position_options.h"
#include "spk/center_chain.h"
#include "spk/spk_error.h"
#include "spk/spk_kernel.h"
#include "spk/type2.h"

namespace ephemeris {

// What every target of one request shares at one epoch (TDB seconds past
// J2000): the observer's barycentric state (the centre's plus the site
// offset) and the Sun's, each evaluated when first asked for and then kept.
// A failed evaluation keeps nothing, so asking again fails the same way.
// The site offset given is read where it is, so it must outlive the links.
class EpochLinks {
 public:
  EpochLinks(std::span<SpkKernel> kernels, std::int32_t center, const std::optional<CartesianState>& observer_offset,
             double epoch)
      : kernels_(kernels), center_(center), offset_(observer_offset ? &*observer_offset : nullptr), epoch_(epoch) {}

  std::span<SpkKernel> kernels() const { return kernels_; }
  std::int32_t center() const { return center_; }
  bool has_offset() const { return offset_ != nullptr; }
  double epoch() const { return epoch_; }

  // Finds the chains the request of `target` will evaluate at the epoch (the
  // observer's, the target's and, with `sun`, the Sun's) and asks the
  // processor to fetch their cached records, so that the loads overlap the
  // work done before the evaluations; they then use these chains.
  void plan(std::int32_t target, bool sun);

  // Barycentric state of the observer, km and km/s.
  std::expected<const StateVector*, SpkError> observer();
  // Barycentric state of the Sun, km and km/s.
  std::expected<const StateVector*, SpkError> sun();
  // Its position alone, km (bit for bit that of sun(), which it reuses when
  // already evaluated).
  std::expected<const std::array<double, 3>*, SpkError> sun_position();
  // Barycentric state of `target` at `epoch` (TDB seconds: the links' own,
  // or one a light time away), bit for bit barycentric_state_across_kernels's,
  // and its position alone.
  std::expected<StateVector, SpkError> state_of(std::int32_t target, double epoch);
  std::expected<std::array<double, 3>, SpkError> position_of(std::int32_t target, double epoch);

 private:
  std::span<SpkKernel> kernels_;
  std::int32_t center_;
  const CartesianState* offset_;  // the caller's, which outlives the links (null: none)
  double epoch_;
  // The chains found by plan() (those whose flag is set), each evaluated at most once.
  bool has_observer_chain_ = false;
  bool has_target_chain_ = false;
  bool has_sun_chain_ = false;
  CenterChain observer_chain_;
  CenterChain target_chain_;
  CenterChain sun_chain_;
  std::optional<StateVector> observer_;
  std::optional<StateVector> sun_;
  std::optional<std::array<double, 3>> sun_position_;
};

// State of `target` relative to the observer of `links` at its epoch, km and
// km/s. Reads only the light_time, aberration and gravitational_deflection
// switches of `corrections`, applied in that order. With light time the
// target is taken at t, then three times at t - tau (tau measured from the
// observer at t; an iterate at the epoch of the one before is that one
// again), its velocity only from the last. The result and the error are
// those of the evaluation alone, whatever `links` already holds.
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
