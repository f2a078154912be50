// Sidereal positions: an ecliptic-of-date position with the ayanamsha of a
// sidereal mode taken off its longitude and the ayanamsha rate off its speed.
#pragma once

#include <expected>

#include "core/ayanamsha.h"
#include "core/body.h"
#include "core/errors.h"
#include "core/position.h"
#include "core/position_options.h"
#include "core/time_scale.h"
#include "engine/engine.h"

namespace ephemeris {

// Position of `body` with `options` (which must ask for the ecliptic of
// date) and the ayanamsha of `mode` subtracted from its longitude (reduced
// into [0, 360)) and the ayanamsha rate from its longitude speed. Errors:
// InvalidRequest "sidereal longitudes require ecliptic of date" before the
// option rules; then those of `position` and of the conversion to TT.
std::expected<Position, EphemerisError> sidereal_position(const SpkEphemeris& engine, Body body,
                                                          const Instant& instant, const PositionOptions& options,
                                                          SiderealMode mode);

}  // namespace ephemeris
