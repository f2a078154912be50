#include "core/horizon.h"

#include <cmath>

namespace ephemeris {

std::expected<HorizonCrossing, CoordinateError> rise_set_hour_angle(double latitude_rad, double declination_rad,
                                                                   double altitude_rad) {
  if (!std::isfinite(latitude_rad) || !std::isfinite(declination_rad) || !std::isfinite(altitude_rad))
    return std::unexpected(CoordinateError::NonFinite);

  const double d = std::cos(latitude_rad) * std::cos(declination_rad);
  const double sin_altitude = std::sin(altitude_rad);
  const double polar = std::sin(latitude_rad) * std::sin(declination_rad);
  if (std::abs(d) < 1e-18) {
    // The diurnal circle degenerates: the altitude is constant.
    return polar >= sin_altitude ? HorizonCrossing::always_above() : HorizonCrossing::always_below();
  }
  const double cos_h = (sin_altitude - polar) / d;
  if (cos_h > 1.0) return HorizonCrossing::always_below();
  if (cos_h < -1.0) return HorizonCrossing::always_above();
  return HorizonCrossing::crosses(std::acos(cos_h));
}

}  // namespace ephemeris
