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
