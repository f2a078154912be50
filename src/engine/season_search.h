// Equinoxes, solstices and lunations: the next instant at which an apparent
// geocentric longitude of date (the Sun's, or the Moon's minus the Sun's)
// reaches a target angle, searched with the engine's position requests.
#pragma once

#include <expected>

#include "core/errors.h"
#include "core/time_scale.h"
#include "engine/engine.h"

namespace ephemeris {

// Next instant after `after` at which the Sun's apparent geocentric
// longitude (true ecliptic and equinox of date) reaches `target_deg`
// degrees: 0, 90, 180, 270 for the equinoxes and solstices. An event
// within one second after `after` is skipped. The search runs in the scale
// of `after`; the result is a TT instant. Errors: InvalidRequest "longitude
// speed is too small to search for the event"; any error of the position
// requests (OutOfRange near the end of the kernel, time-kernel errors for
// UTC or UT1) or of the final conversion to TT.
std::expected<Instant, EphemerisError> next_sun_longitude(const SpkEphemeris& engine, const Instant& after,
                                                          double target_deg);

// The same for the Moon's apparent longitude minus the Sun's, in [0, 360):
// 0 for the new Moon, 180 for the full Moon.
std::expected<Instant, EphemerisError> next_sun_moon_elongation(const SpkEphemeris& engine, const Instant& after,
                                                                double target_deg);

}  // namespace ephemeris
