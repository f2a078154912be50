// The pieces of a position request shared by single and batch requests:
// option validation, the choice of centre, the output frame and the final
// spherical conversion.
#pragma once

#include <cstdint>
#include <expected>
#include <variant>

#include "core/cartesian_state.h"
#include "core/errors.h"
#include "core/position.h"
#include "core/position_options.h"
#include "core/precession.h"
#include "spk/spk_error.h"

namespace ephemeris {

// Checks the rules between the option fields (in a fixed order, the first
// broken rule reported as InvalidRequest) and expands `apparent` into the
// five corrections (plus the true ecliptic for ecliptic output).
std::expected<PositionOptions, EphemerisError> resolve_position_options(const PositionOptions& options);

// NAIF code of the origin's centre: 0, 10, 399, or 399 for a topocentric site.
std::int32_t center_code(OriginKind origin);

// The frame the final state is rotated into.
struct J2000Equatorial {};
struct J2000Ecliptic {};
using OutputFrame = std::variant<OfDateRotation, J2000Equatorial, J2000Ecliptic>;

// Frame of resolved `options` at the TDB Julian day `jd_tdb` (the of-date
// rotation, with its nutation series, is built here once).
OutputFrame output_frame(const PositionOptions& options, double jd_tdb);

// Rotates `state` (km, km/s, ICRF/J2000) into `frame` and converts it to a
// spherical position with the distance in astronomical units. Errors
// (Backend): the coordinate error texts.
std::expected<Position, EphemerisError> position_from_state(const CartesianState& state, const OutputFrame& frame);

// Its last step: the position of spherical coordinates (distance in au).
Position position_from_spherical(const SphericalCoordinates& spherical);

// Number of positions in a batch of `n_bodies` x `n_instants`. Error
// (InvalidRequest): "batch result length overflowed" past 2^64 - 1.
std::expected<std::uint64_t, EphemerisError> batch_result_length(std::uint64_t n_bodies, std::uint64_t n_instants);

// An SpkError as the engine reports it: Backend with the error's text.
EphemerisError spk_ephemeris_error(const SpkError& error);

}  // namespace ephemeris
