// Time scales of instants and the instant value itself.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace ephemeris {

enum class TimeScale : std::uint8_t { Utc, Ut1, Tt, Tdb };

// Printed name used in messages, mixed case as written: "Utc", "Ut1", "Tt", "Tdb".
constexpr std::string_view time_scale_name(TimeScale scale) {
  constexpr std::array<std::string_view, 4> names = {"Utc", "Ut1", "Tt", "Tdb"};
  return names[static_cast<std::size_t>(scale)];
}

// A Julian day (with fraction) in an explicit time scale. Not validated here:
// a non-finite day is rejected when the instant is converted.
struct Instant {
  double julian_day = 0.0;
  TimeScale time_scale = TimeScale::Tdb;
};

}  // namespace ephemeris
