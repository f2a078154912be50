// The bodies a position can be asked for, their printed names and NAIF codes.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace ephemeris {

// The order is the discriminant and the order of every table indexed by body.
// The planetary system barycentres follow the bodies proper: the planetary
// kernels in common use (DE421, DE440) hold the outer planets only as these.
enum class Body : std::uint8_t {
  Sun, Moon, Mercury, Venus, Earth, Mars, Jupiter, Saturn, Uranus, Neptune, Pluto,
  MercuryBarycenter, VenusBarycenter, EarthBarycenter, MarsBarycenter, JupiterBarycenter,
  SaturnBarycenter, UranusBarycenter, NeptuneBarycenter, PlutoBarycenter,
};

inline constexpr std::size_t kBodyCount = 20;

inline constexpr std::array<Body, kBodyCount> kAllBodies = {
    Body::Sun,     Body::Moon,   Body::Mercury, Body::Venus,   Body::Earth, Body::Mars,
    Body::Jupiter, Body::Saturn, Body::Uranus,  Body::Neptune, Body::Pluto,
    Body::MercuryBarycenter, Body::VenusBarycenter, Body::EarthBarycenter, Body::MarsBarycenter,
    Body::JupiterBarycenter, Body::SaturnBarycenter, Body::UranusBarycenter, Body::NeptuneBarycenter,
    Body::PlutoBarycenter,
};

// NAIF codes of the solar-system barycentre and the bodies used as centres.
inline constexpr std::int32_t kNaifSolarSystemBarycenter = 0;
inline constexpr std::int32_t kNaifSun = 10;
inline constexpr std::int32_t kNaifEarth = 399;

// Printed name used in messages ("Mars", "Jupiter Barycenter"; the
// Earth-Moon barycentre is "Earth Barycenter", NAIF's name for code 3).
constexpr std::string_view body_name(Body body) {
  constexpr std::array<std::string_view, kBodyCount> names = {
      "Sun", "Moon", "Mercury", "Venus", "Earth", "Mars",
      "Jupiter", "Saturn", "Uranus", "Neptune", "Pluto",
      "Mercury Barycenter", "Venus Barycenter", "Earth Barycenter", "Mars Barycenter", "Jupiter Barycenter",
      "Saturn Barycenter", "Uranus Barycenter", "Neptune Barycenter", "Pluto Barycenter"};
  return names[static_cast<std::size_t>(body)];
}

// NAIF code of the body: planets map to their centres (x99), never to their
// system barycentres, which are bodies of their own (codes 1 to 9).
constexpr std::int32_t naif_code(Body body) {
  constexpr std::array<std::int32_t, kBodyCount> codes = {
      10, 301, 199, 299, 399, 499, 599, 699, 799, 899, 999, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  return codes[static_cast<std::size_t>(body)];
}

}  // namespace ephemeris
