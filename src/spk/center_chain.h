// States relative to the solar-system barycentre, found by following each
// body's chain of centres segment by segment across an ordered list of
// kernels (the primary kernel first), and the relative state of a target as
// seen from a centre.
//
// Precedence: kernels in list order, and within a kernel its segments from
// the last in file order to the first; the first segment whose target is the
// body and whose coverage holds the epoch (both ends included) is used.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <vector>

#include "core/errors.h"
#include "core/position_options.h"
#include "spk/spk_error.h"
#include "spk/spk_kernel.h"
#include "spk/type2.h"

namespace ephemeris {

// A chain may have at most this many links (segments) before it counts as a cycle.
inline constexpr unsigned kMaxCenterChainLinks = 32;

// States of `target` relative to the solar-system barycentre (code 0) at each
// epoch (TDB seconds past J2000), in epoch order; km and km/s. All epochs that
// share a segment in one step of the walk are evaluated together. Errors:
// NoSegmentForCenterChain, CenterChainCycle (naming `target`) and every
// segment-list and Type 2 error. Target 0 gives zero states without reading.
std::expected<std::vector<StateVector>, SpkError> barycentric_states_across_kernels(
    std::span<SpkKernel> kernels, std::int32_t target, std::span<const double> epochs);

// The same for one epoch, bit for bit equal to a one-element batch; it does
// no hash-map work and no allocation once the records it needs are cached.
std::expected<StateVector, SpkError> barycentric_state_across_kernels(std::span<SpkKernel> kernels,
                                                                      std::int32_t target, double epoch);

// State of `target` relative to `center` plus `observer_offset` at `epoch`
// (TDB seconds past J2000), km and km/s. Reads only the light_time,
// aberration and gravitational_deflection switches of `corrections`, applied
// in that order. With light time the target is evaluated four times (at t,
// then three times at t - tau, tau measured from the observer at t).
std::expected<StateVector, SpkError> resolve_relative_state(std::span<SpkKernel> kernels, std::int32_t target,
                                                            std::int32_t center, const Corrections& corrections,
                                                            const std::optional<CartesianState>& observer_offset,
                                                            double epoch);

// InvalidRequest "spherical coordinates are undefined when target and origin
// are identical" when the two codes are equal.
std::expected<void, EphemerisError> reject_identical_target_and_center(std::int32_t target, std::int32_t center);

}  // namespace ephemeris
