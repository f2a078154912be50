// Horizon events (rise, set, meridian transit): their kinds and the results
// of the horizon searches for the Sun or the Moon at a site.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace ephemeris {

enum class HorizonEventKind : std::uint8_t { Rise, Set, Transit };

// Printed name: "Rise", "Set", "Transit".
constexpr std::string_view horizon_event_kind_name(HorizonEventKind kind) {
  constexpr std::array<std::string_view, 3> names = {"Rise", "Set", "Transit"};
  return names[static_cast<std::size_t>(kind)];
}

// The upper transit nearest (in hour angle) to a query instant, with the rise
// and the set of its day (lower transit to lower transit); UT1 Julian days.
// Each is absent on its own when the day has no crossing of its direction.
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
