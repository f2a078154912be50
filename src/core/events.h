// Kinds of horizon events (rise, set, meridian transit).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace ephemeris {

enum class HorizonEventKind : std::uint8_t { Rise, Set, Transit };

// Printed name: "Rise", "Set", "Transit".
constexpr std::string_view horizon_event_kind_name(HorizonEventKind kind) {
  constexpr std::array<std::string_view, 3> names = {"Rise", "Set", "Transit"};
  return names[static_cast<std::size_t>(kind)];
}

}  // namespace ephemeris
