// Rise, set and meridian transit of the Sun and the Moon for a site, searched
// with the engine's position requests and time conversions.
#pragma once

#include <expected>

#include "core/body.h"
#include "core/errors.h"
#include "core/events.h"
#include "core/observer.h"
#include "core/time_scale.h"
#include "engine/engine.h"

namespace ephemeris {

// Apparent topocentric right ascension and declination of date for
// `observer`: the place the horizon geometry starts from.
PositionOptions horizon_options(const GeodeticObserver& observer);

// Upper transit of the Sun or the Moon nearest in hour angle to `around`
// for `observer`, with the crossings of the apparent topocentric altitude
// `altitude_deg` (degrees; no refraction or semi-diameter is added) in the
// transit's day, which runs from the lower transit before it to the lower
// transit after it. The rise is the last upward crossing before the transit,
// or when there is none the first one after it; the set is the first
// downward crossing after the transit, or when there is none the last one
// before it. Either is absent when the day has no crossing of its direction
// (polar day or night, or the Moon turning circumpolar or staying down for
// days), so one may be present without the other. Needs both time kernels
// whatever the scale of `around`. Errors, in this order: UnsupportedBody for
// other bodies; InvalidRequest "horizon altitude must be finite"; the
// observer's coordinate error (InvalidRequest); the time-kernel errors;
// position errors.
std::expected<RiseSetTransit, EphemerisError> rise_set_transit(const SpkEphemeris& engine, Body body,
                                                               const GeodeticObserver& observer,
                                                               const Instant& around, double altitude_deg);

// First event of `kind` later than one second after `after` (UT1), looked
// for in three days: the day (lower transit to lower transit) holding that
// instant and the two after it, up to the end of the day that holds it + 2
// days. A transit is refined from `after`, `after` + 1 and `after` + 2 days
// as rise_set_transit does; a rise or set is every real crossing of its
// direction in those days, including one that rise_set_transit does not
// report (a second crossing of one direction in a day). Errors: the
// time-kernel errors first; the argument errors of rise_set_transit; errors
// met within the first day; InvalidRequest "no {kind} of {body} within 3
// days after the query instant" otherwise.
std::expected<HorizonEvent, EphemerisError> next_horizon_event(const SpkEphemeris& engine, Body body,
                                                               const GeodeticObserver& observer,
                                                               const Instant& after, HorizonEventKind kind,
                                                               double altitude_deg);

// Eight fixed passes that move the UT1 Julian day `start_ut1_julian_day`
// to the local hour angle of `event` (0 for a transit, -H0 / +H0 for a rise
// or set at `altitude_deg`), re-evaluating the body at every pass; returns
// the UT1 Julian day after the last pass. A pass that leaves the day as it
// was ends them early, with the same result: the later ones would repeat it. Errors: time-kernel and position
// errors; InvalidRequest "body does not cross the requested altitude", or
// the coordinate error of a non-finite altitude, for a rise or set.
std::expected<double, EphemerisError> refine_horizon_event(const SpkEphemeris& engine, Body body,
                                                           const GeodeticObserver& observer,
                                                           double start_ut1_julian_day, HorizonEventKind event,
                                                           double altitude_deg);

}  // namespace ephemeris
