// A site on the Earth: geodetic coordinates on the GRS80 ellipsoid (ITRS), its
// validation, and its geocentric state in the GCRS.
#pragma once

#include <array>
#include <expected>

#include "core/cartesian_state.h"
#include "core/errors.h"

namespace ephemeris {

struct GeodeticObserver {
  double longitude_east_deg = 0.0;  // degrees, positive east; any finite value
  double latitude_deg = 0.0;        // degrees, -90 to +90 inclusive
  double height_m = 0.0;            // metres above the ellipsoid

  // A copy of the site when it is usable. Errors: NonFinite when longitude,
  // latitude or height is NaN or infinite; InvalidLatitude when the latitude
  // is finite but its magnitude exceeds 90 degrees.
  std::expected<GeodeticObserver, CoordinateError> validate() const;

  friend bool operator==(const GeodeticObserver&, const GeodeticObserver&) = default;
};

// Geocentric position (km) and velocity (km/s) of the site in the GCRS/J2000
// axes at UT1 Julian date `ut1_jd` and TT Julian date `tt_jd`, with the pole
// offsets `xp_arcsec`, `yp_arcsec` (arcseconds, as the IERS tables give them).
//
// The chain is equinox-based IAU 2006/2000B: ellipsoid to ITRS, polar motion
// with the TIO locator to the TIRS, the rigid rotation velocity there, the
// apparent sidereal time to the true equator and equinox of date, then the
// inverse precession-nutation rotation. The velocity is the Earth's rotation
// only (no polar-motion or precession rates).
//
// Errors: those of `validate`; NonFinite for a non-finite pole offset or date.
std::expected<CartesianState, CoordinateError> observer_gcrs_from_geodetic(const GeodeticObserver& observer,
                                                                          double ut1_jd, double tt_jd,
                                                                          double xp_arcsec, double yp_arcsec);

// The site's GCRS state as observer_gcrs_from_geodetic gives it, with the
// Greenwich apparent sidereal time (radians, [0, 2 pi)) that turned it, for
// callers that need the sidereal time of the same instant too: one nutation
// series serves the sidereal time and the precession-nutation rotation.
struct SiteGcrs {
  CartesianState state;                          // km, km/s
  double greenwich_apparent_sidereal_time_rad;   // greenwich_apparent_sidereal_time_iau2006(ut1_jd, tt_jd)
};
std::expected<SiteGcrs, CoordinateError> site_gcrs_from_geodetic(const GeodeticObserver& observer, double ut1_jd,
                                                                 double tt_jd, double xp_arcsec, double yp_arcsec);

// Polar motion between the ITRS and the Terrestrial Intermediate Reference
// System: itrs_to_tirs applies R3(-s') R2(xp) R1(yp) (the pole offsets
// `xp_arcsec`, `yp_arcsec` in arcseconds, the TIO locator s' = -47 uas per
// Julian century of TT from `tt_jd`), tirs_to_itrs its transpose. Any vector;
// lengths are kept.
std::array<double, 3> itrs_to_tirs(const std::array<double, 3>& v, double xp_arcsec, double yp_arcsec, double tt_jd);
std::array<double, 3> tirs_to_itrs(const std::array<double, 3>& v, double xp_arcsec, double yp_arcsec, double tt_jd);

}  // namespace ephemeris
