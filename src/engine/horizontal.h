// Altitude and azimuth of a body for a site on the Earth, with or without
// atmospheric refraction, at one instant or many.
#pragma once

#include <expected>
#include <optional>
#include <span>
#include <vector>

#include "core/body.h"
#include "core/errors.h"
#include "core/observer.h"
#include "core/time_scale.h"
#include "engine/engine.h"

namespace ephemeris {

struct HorizontalPosition {
  double altitude_deg = 0.0;  // degrees, [-90, 90]; refracted when air conditions are given
  double azimuth_deg = 0.0;   // degrees, [0, 360), from north through east
  double distance_au = 0.0;   // astronomical units, of the apparent topocentric place
};

// The air at the site, for refraction.
struct AirConditions {
  double temperature_c = 10.0;   // degrees Celsius, -100 to 60
  double pressure_mbar = 1010.0; // millibars (hectopascals), 0 to 1200
};

// The body's apparent topocentric place (as horizon_options asks it) turned
// to the site's horizon: the true equator and equinox of date, the Earth's
// rotation by the apparent sidereal time and the polar motion of the Earth
// orientation table give the direction in the ITRS; the local vertical is the
// ellipsoid normal. With `air`, the altitude is refracted (refracted_altitude_deg).
// One result per instant, in order; needs both time kernels. Errors, in this
// order: InvalidRequest "air temperature must be finite and within [-100, 60]
// degrees Celsius", then "air pressure must be finite and within [0, 1200]
// millibars"; then those of SpkEphemeris::positions for the one body at the
// instants (the observer, each instant in order, the evaluation). `interrupt`
// is polled as SpkEphemeris::positions polls it.
std::expected<std::vector<HorizontalPosition>, EphemerisError> horizontal_positions(
    const SpkEphemeris& engine, Body body, const GeodeticObserver& observer, std::span<const Instant> instants,
    std::optional<AirConditions> air, InterruptCheck interrupt = {});

// The same for one instant.
std::expected<HorizontalPosition, EphemerisError> horizontal_position(const SpkEphemeris& engine, Body body,
                                                                      const GeodeticObserver& observer,
                                                                      const Instant& instant,
                                                                      std::optional<AirConditions> air);

}  // namespace ephemeris
