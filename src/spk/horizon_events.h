// Results of the horizon searches: the rise, set and meridian transit of the
// Sun or the Moon for a site, and the next such event.
#pragma once

#include <optional>

#include "core/events.h"

namespace ephemeris {

// The upper transit nearest (in hour angle) to a query instant, with the rise
// before it and the set after it; UT1 Julian days. Rise and set are both
// absent when the body stays above or below the requested altitude that day.
struct RiseSetTransit {
  std::optional<double> rise_ut1_julian_day;
  std::optional<double> set_ut1_julian_day;
  double transit_ut1_julian_day = 0.0;
};

// One horizon event: its UT1 Julian day and its kind.
struct HorizonEvent {
  double ut1_julian_day = 0.0;
  HorizonEventKind kind = HorizonEventKind::Transit;
};

}  // namespace ephemeris
