// A site on the Earth: geodetic coordinates on the GRS80 ellipsoid (ITRS).
#pragma once

namespace ephemeris {

struct GeodeticObserver {
  double longitude_east_deg = 0.0;  // degrees, positive east; any finite value
  double latitude_deg = 0.0;        // degrees, -90 to +90 inclusive
  double height_m = 0.0;            // metres above the ellipsoid
};

}  // namespace ephemeris
