// The spherical result of a position request.
#pragma once

namespace ephemeris {

struct Position {
  double longitude_deg = 0.0;                 // [0, 360]
  double latitude_deg = 0.0;                  // [-90, 90]
  double distance_au = 0.0;                   // astronomical units
  double longitude_speed_deg_per_day = 0.0;   // degrees per day
};

}  // namespace ephemeris
