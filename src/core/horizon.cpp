#include "core/horizon.h"

#include <algorithm>
#include <cmath>

#include "core/angle_reduction.h"
#include "core/constants.h"

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

HorizontalDirection horizontal_direction(const std::array<double, 3>& itrs, double latitude_rad,
                                         double east_longitude_rad) {
  const double sin_lat = std::sin(latitude_rad);
  const double cos_lat = std::cos(latitude_rad);
  const double sin_lon = std::sin(east_longitude_rad);
  const double cos_lon = std::cos(east_longitude_rad);
  // Components along the local east, north and up.
  const double east = -sin_lon * itrs[0] + cos_lon * itrs[1];
  const double along_meridian = cos_lon * itrs[0] + sin_lon * itrs[1];
  const double north = -sin_lat * along_meridian + cos_lat * itrs[2];
  const double up = cos_lat * along_meridian + sin_lat * itrs[2];
  return {std::atan2(up, std::hypot(east, north)), reduce_angle(std::atan2(east, north), kTwoPi)};
}

double bennett_refraction_deg(double apparent_altitude_deg, double temperature_c, double pressure_mbar) {
  constexpr double kDegreesPerArcminute = 0.016667;
  const double h = apparent_altitude_deg;
  const double cotangent = 1.0 / std::tan((h + 7.31 / (h + 4.4)) * kRadiansPerDegree);
  return std::max(0.0, kDegreesPerArcminute * cotangent) * (0.28 * pressure_mbar / (temperature_c + 273.0));
}

double refracted_altitude_deg(double geometric_altitude_deg, double temperature_c, double pressure_mbar) {
  constexpr double kLowestRefractedAltitudeDeg = -1.0;
  constexpr double kStepToleranceDeg = 1e-12;
  constexpr int kMaxSteps = 64;
  if (!(geometric_altitude_deg >= kLowestRefractedAltitudeDeg)) return geometric_altitude_deg;
  double h = geometric_altitude_deg;
  for (int step = 0; step < kMaxSteps; ++step) {
    const double next =
        geometric_altitude_deg + bennett_refraction_deg(h, temperature_c, pressure_mbar);
    const bool converged = std::abs(next - h) <= kStepToleranceDeg;
    h = next;
    if (converged) break;
  }
  return h;
}

}  // namespace ephemeris
