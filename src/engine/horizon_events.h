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
// for `observer`, with the rise before and the set after it at the
// apparent topocentric altitude `altitude_deg` (degrees; no refraction or
// semi-diameter is added). Needs both time kernels whatever the scale of
// `around`. Errors, in this order: UnsupportedBody for other bodies;
// InvalidRequest "horizon altitude must be finite"; the observer's
// coordinate error (InvalidRequest); the time-kernel errors; InvalidRequest
// "body does not cross the requested altitude" when a rise or set
// refinement meets a day without crossing; position errors.
std::expected<RiseSetTransit, EphemerisError> rise_set_transit(const SpkEphemeris& engine, Body body,
                                                               const GeodeticObserver& observer,
                                                               const Instant& around, double altitude_deg);

// First event of `kind` later than one second after `after`, looked for in
// the days centred on the transits nearest to `after`, `after` + 1 and
// `after` + 2 days (UT1). Errors: the time-kernel errors first; those of
// rise_set_transit for the first day; InvalidRequest "no {kind} of {body}
// within 3 days after the query instant" otherwise.
std::expected<HorizonEvent, EphemerisError> next_horizon_event(const SpkEphemeris& engine, Body body,
                                                               const GeodeticObserver& observer,
                                                               const Instant& after, HorizonEventKind kind,
                                                               double altitude_deg);

// Eight fixed passes that move the UT1 Julian day `start_ut1_julian_day`
// to the local hour angle of `event` (0 for a transit, -H0 / +H0 for a rise
// or set at `altitude_deg`), re-evaluating the body at every pass; returns
// the UT1 Julian day after the last pass. Errors: time-kernel and position
// errors; InvalidRequest "body does not cross the requested altitude", or
// the coordinate error of a non-finite altitude, for a rise or set.
std::expected<double, EphemerisError> refine_horizon_event(const SpkEphemeris& engine, Body body,
                                                           const GeodeticObserver& observer,
                                                           double start_ut1_julian_day, HorizonEventKind event,
                                                           double altitude_deg);

}  // namespace ephemeris
