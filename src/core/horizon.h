// Where a body of given declination crosses a given altitude; the altitude
// and azimuth of a direction; atmospheric refraction.
#pragma once

#include <array>
#include <cstdint>
#include <expected>

#include "core/errors.h"

namespace ephemeris {

// How a parallel of declination meets an altitude circle.
struct HorizonCrossing {
  enum class Kind : std::uint8_t { Crosses, AlwaysAbove, AlwaysBelow };

  Kind kind = Kind::Crosses;
  double hour_angle_rad = 0.0;  // Crosses only: H in [0, pi], crossings at local hour angles +H and -H

  static constexpr HorizonCrossing crosses(double hour_angle_rad) { return {Kind::Crosses, hour_angle_rad}; }
  static constexpr HorizonCrossing always_above() { return {Kind::AlwaysAbove, 0.0}; }
  static constexpr HorizonCrossing always_below() { return {Kind::AlwaysBelow, 0.0}; }
  friend bool operator==(const HorizonCrossing&, const HorizonCrossing&) = default;
};

// Hour angle at which a body at declination `declination_rad` reaches the
// altitude `altitude_rad` for an observer at latitude `latitude_rad` (all in
// radians; the formula is symmetric in latitude and declination). A body whose
// altitude does not change (at a pole of the sky or for an observer at a
// geographic pole) is AlwaysAbove when it sits at or above the altitude.
// Error: NonFinite when an argument is NaN or infinite.
std::expected<HorizonCrossing, CoordinateError> rise_set_hour_angle(double latitude_rad, double declination_rad,
                                                                   double altitude_rad);

// Altitude and azimuth of a direction, radians.
struct HorizontalDirection {
  double altitude_rad = 0.0;  // [-pi/2, pi/2], above the plane normal to the local vertical
  double azimuth_rad = 0.0;   // [0, 2 pi), from north through east; 0 at the zenith and nadir
};

// The direction `itrs` (ITRS axes, any non-zero length) seen from a site at
// geodetic latitude `latitude_rad` and east longitude `east_longitude_rad`
// (radians): the local vertical is the ellipsoid normal there. A non-finite
// input gives a non-finite result.
HorizontalDirection horizontal_direction(const std::array<double, 3>& itrs, double latitude_rad,
                                         double east_longitude_rad);

// Atmospheric refraction by Bennett's formula (J. Navigation 35, 1982),
// R = cot(h + 7.31 / (h + 4.4)) arcminutes at the apparent altitude h in
// degrees, scaled by 0.28 P / (T + 273) for the pressure P in millibars and
// the temperature T in degrees Celsius (Saemundsson's scaling as Meeus gives
// it, 283 K / 1010 mbar written 0.28), in degrees. Bennett fitted it to
// apparent altitudes from 0 to 90 degrees (to 0.07 arcminutes); below 0
// degrees it keeps falling smoothly down to -1.7 degrees. Its cotangent turns
// negative just short of the zenith (-0.08 arcseconds there): the result is
// held at 0 instead. The arcminute factor is written 0.016667, as Skyfield
// writes it, so that both give the same refraction at the same altitude.
// Meant for apparent altitudes of -1 degree and above.
double bennett_refraction_deg(double apparent_altitude_deg, double temperature_c, double pressure_mbar);

// The apparent altitude h of a body at the geometric altitude
// `geometric_altitude_deg` (degrees): the solution of h = geometric +
// bennett_refraction_deg(h), by fixed-point iteration from the geometric
// altitude. Every step stays at or above it, where the formula holds; there
// the refraction changes by at most 0.54 of a change of altitude (at -1
// degree, -100 C and 1200 mbar), so each step shrinks the error by that
// factor at least; at most 64 steps, stopping at a step below 1e-12 degrees.
// Bodies below -1 degree are returned unrefracted: the formula does not hold
// that far below the horizon. Needs -100 <= temperature_c <= 60 and
// 0 <= pressure_mbar <= 1200.
double refracted_altitude_deg(double geometric_altitude_deg, double temperature_c, double pressure_mbar);

}  // namespace ephemeris
