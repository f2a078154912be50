// Cartesian position and velocity, and the two conversions the core owns.
#pragma once

#include <array>
#include <expected>

#include "core/errors.h"

namespace ephemeris {

// Position (x, y, z) followed by velocity (vx, vy, vz). States from kernel
// evaluation are kilometres and kilometres per second in the ICRF/J2000 axes;
// rotations keep the units.
struct CartesianState {
  std::array<double, 3> position_km{};
  std::array<double, 3> velocity_km_per_s{};

  friend bool operator==(const CartesianState&, const CartesianState&) = default;
};

// Component-wise sum and difference of all six components (inline: they
// sit in the innermost loops of batches).
inline CartesianState& operator+=(CartesianState& a, const CartesianState& b) {
  for (int i = 0; i < 3; ++i) {
    a.position_km[i] += b.position_km[i];
    a.velocity_km_per_s[i] += b.velocity_km_per_s[i];
  }
  return a;
}
inline CartesianState operator+(const CartesianState& a, const CartesianState& b) {
  CartesianState sum = a;
  sum += b;
  return sum;
}
inline CartesianState operator-(const CartesianState& a, const CartesianState& b) {
  CartesianState d;
  for (int i = 0; i < 3; ++i) {
    d.position_km[i] = a.position_km[i] - b.position_km[i];
    d.velocity_km_per_s[i] = a.velocity_km_per_s[i] - b.velocity_km_per_s[i];
  }
  return d;
}

// Spherical form of a state; the distance is in the state's own unit.
struct SphericalCoordinates {
  double longitude_deg;                // [0, 360)
  double latitude_deg;                 // [-90, 90]
  double distance;                     // unit of the state's position
  double longitude_speed_deg_per_day;  // velocity taken as per second
};

// Errors: NonFinite (any component), AtOrigin (r = 0), OnZAxis (x = y = 0).
std::expected<SphericalCoordinates, CoordinateError> to_spherical(const CartesianState& state);

// Rotation from the J2000 equator to the J2000 ecliptic (mean obliquity
// 84381.448 arcseconds), position and velocity alike. Error: NonFinite.
std::expected<CartesianState, CoordinateError> to_j2000_ecliptic(const CartesianState& state);

// True when all six components are finite.
bool is_finite(const CartesianState& state);

}  // namespace ephemeris
