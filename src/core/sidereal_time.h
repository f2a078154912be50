// Earth rotation angle and the IAU 2006 sidereal times (equinox-based, with
// IAU 2000B nutation in the equation of the equinoxes).
//
// Dates are Julian dates: `ut1_jd` in UT1 drives the Earth's rotation, `tt_jd`
// in TT (TDB is close enough) drives precession and nutation. All results are
// radians in [0, 2 pi). None of these functions fails; a non-finite input
// gives a non-finite result.
#pragma once

#include "core/nutation.h"

namespace ephemeris {

// Turns of the Earth rotation angle per UT1 day beyond one turn (Capitaine et
// al. 2000): the Earth turns 1.0027378119113546 times per day relative to the
// equinox.
inline constexpr double kEraExtraTurnsPerDay = 0.00273781191135448;

// Earth rotation angle (IAU 2000) at `ut1_jd`.
double earth_rotation_angle(double ut1_jd);

// Greenwich mean sidereal time, IAU 2006: the Earth rotation angle plus the
// accumulated precession in right ascension.
double greenwich_mean_sidereal_time_iau2006(double ut1_jd, double tt_jd);

// Greenwich apparent sidereal time: GMST plus the equation of the equinoxes
// (delta psi cos epsilon_A plus the two largest complementary terms).
double greenwich_apparent_sidereal_time_iau2006(double ut1_jd, double tt_jd);

// The same with the nutation at `tt_jd` already evaluated by the caller
// (`nutation` must be nutation_iau2000b(tt_jd)), so it is computed once.
double greenwich_apparent_sidereal_time_iau2006(double ut1_jd, double tt_jd, const Nutation& nutation);

// Local apparent sidereal time for a site at east longitude
// `east_longitude_rad` (radians, any value).
double local_apparent_sidereal_time_iau2006(double east_longitude_rad, double ut1_jd, double tt_jd);

// The local sidereal time of a site at east longitude `east_longitude_rad`
// (radians, any value) from the Greenwich sidereal time
// `greenwich_sidereal_time_rad` (radians), reduced into [0, 2 pi).
double local_sidereal_time(double east_longitude_rad, double greenwich_sidereal_time_rad);

}  // namespace ephemeris
