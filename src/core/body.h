// The bodies a position can be asked for, their printed names and NAIF codes.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace ephemeris {

// The order is the discriminant and the order of every table indexed by body.
enum class Body : std::uint8_t {
  Sun, Moon, Mercury, Venus, Earth, Mars, Jupiter, Saturn, Uranus, Neptune, Pluto,
};

inline constexpr std::size_t kBodyCount = 11;

inline constexpr std::array<Body, kBodyCount> kAllBodies = {
    Body::Sun,     Body::Moon,   Body::Mercury, Body::Venus,   Body::Earth, Body::Mars,
    Body::Jupiter, Body::Saturn, Body::Uranus,  Body::Neptune, Body::Pluto,
};

// NAIF codes of the solar-system barycentre and the bodies used as centres.
inline constexpr std::int32_t kNaifSolarSystemBarycenter = 0;
inline constexpr std::int32_t kNaifSun = 10;
inline constexpr std::int32_t kNaifEarth = 399;

// Printed name used in messages ("Mars").
constexpr std::string_view body_name(Body body) {
  constexpr std::array<std::string_view, kBodyCount> names = {
      "Sun", "Moon", "Mercury", "Venus", "Earth", "Mars",
      "Jupiter", "Saturn", "Uranus", "Neptune", "Pluto"};
  return names[static_cast<std::size_t>(body)];
}

// NAIF code of the body centre (planets map to x99, never to their barycentre).
constexpr std::int32_t naif_code(Body body) {
  constexpr std::array<std::int32_t, kBodyCount> codes = {
      10, 301, 199, 299, 399, 499, 599, 699, 799, 899, 999};
  return codes[static_cast<std::size_t>(body)];
}

}  // namespace ephemeris
