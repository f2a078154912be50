// States relative to the solar-system barycentre, found by following each
// body's chain of centres segment by segment across an ordered list of
// kernels (the primary kernel first).
//
// Precedence: kernels in list order, and within a kernel its segments from
// the last in file order to the first; the first segment whose target is the
// body and whose coverage holds the epoch (both ends included) is used.
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <vector>

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

}  // namespace ephemeris
