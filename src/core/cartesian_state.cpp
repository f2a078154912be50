#include "core/cartesian_state.h"

#include <cmath>

#include "core/constants.h"

namespace ephemeris {

bool is_finite(const CartesianState& state) {
  for (double v : state.position_km)
    if (!std::isfinite(v)) return false;
  for (double v : state.velocity_km_per_s)
    if (!std::isfinite(v)) return false;
  return true;
}

std::expected<SphericalCoordinates, CoordinateError> to_spherical(const CartesianState& state) {
  if (!is_finite(state)) return std::unexpected(CoordinateError::NonFinite);
  const auto [x, y, z] = state.position_km;
  const auto [vx, vy, vz] = state.velocity_km_per_s;
  const double rho2 = std::fma(x, x, y * y);
  const double r2 = rho2 + z * z;
  if (r2 == 0.0) return std::unexpected(CoordinateError::AtOrigin);
  if (rho2 == 0.0) return std::unexpected(CoordinateError::OnZAxis);

  double longitude = std::fmod(std::atan2(y, x) * kDegreesPerRadian, 360.0);
  if (longitude < 0.0) longitude += 360.0;
  const double latitude = std::atan2(z, std::sqrt(rho2)) * kDegreesPerRadian;
  const double distance = std::sqrt(r2);
  const double speed = std::fma(x, vy, -(y * vx)) / rho2 * kDegreesPerRadian * kSecondsPerDay;
  (void)vz;
  return SphericalCoordinates{longitude, latitude, distance, speed};
}

std::expected<CartesianState, CoordinateError> to_j2000_ecliptic(const CartesianState& state) {
  if (!is_finite(state)) return std::unexpected(CoordinateError::NonFinite);
  const auto rotate = [](const std::array<double, 3>& v) {
    return std::array<double, 3>{
        v[0],
        kCosObliquityJ2000 * v[1] + kSinObliquityJ2000 * v[2],
        -kSinObliquityJ2000 * v[1] + kCosObliquityJ2000 * v[2],
    };
  };
  return CartesianState{rotate(state.position_km), rotate(state.velocity_km_per_s)};
}

}  // namespace ephemeris
