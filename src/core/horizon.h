// Where a body of given declination crosses a given altitude.
#pragma once

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

}  // namespace ephemeris
