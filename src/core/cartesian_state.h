// Cartesian position and velocity, and the two conversions the core owns.
#pragma once

#include <array>
#include <expected>

#include "core/constants.h"
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
// The angles come from arctangent2.
std::expected<SphericalCoordinates, CoordinateError> to_spherical(const CartesianState& state);

// to_spherical of `lanes` states (1 to kSphericalLanes) into `out`, four at a
// time where the processor has AVX2 and FMA: each result bit for bit the scalar
// one. False when any state fails (to_spherical then tells the error); `out`
// is then unspecified.
inline constexpr int kSphericalLanes = 4;
bool to_spherical_lanes(int lanes, const CartesianState states[], SphericalCoordinates out[]);

// atan2(y, x) in radians, [-pi, pi], within one unit in the last place of the
// exact angle (libm's atan2 is within half a unit: the two differ by at most
// one unit). Its own polynomial, so that four run side by side in the
// spherical lanes with the same bits as one. Signed zeros, infinities, NaN,
// (0, 0) and arguments of 2^1020 or more are libm's.
double arctangent2(double y, double x);

// Rotation from the J2000 equator to the J2000 ecliptic (mean obliquity
// 84381.448 arcseconds), position and velocity alike. Error: NonFinite.
std::expected<CartesianState, CoordinateError> to_j2000_ecliptic(const CartesianState& state);

// The same rotation without the check (a non-finite component stays
// non-finite): for batches that check the rotated states instead.
inline CartesianState rotated_to_j2000_ecliptic(const CartesianState& state) {
  const auto rotate = [](const std::array<double, 3>& v) {
    return std::array<double, 3>{
        v[0],
        kCosObliquityJ2000 * v[1] + kSinObliquityJ2000 * v[2],
        -kSinObliquityJ2000 * v[1] + kCosObliquityJ2000 * v[2],
    };
  };
  return CartesianState{rotate(state.position_km), rotate(state.velocity_km_per_s)};
}

// True when all six components are finite.
bool is_finite(const CartesianState& state);

}  // namespace ephemeris
