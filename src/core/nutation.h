// IAU 2000B nutation: the 77-term lunisolar series with fixed offsets standing
// in for the planetary terms.
#pragma once

namespace ephemeris {

// Nutation in longitude and in obliquity, radians.
struct Nutation {
  double longitude_rad = 0.0;  // delta psi
  double obliquity_rad = 0.0;  // delta epsilon
};

// IAU 2000B nutation at Julian date `jd` (TT or TDB; the two are not told
// apart). Accurate to about 1 mas against IAU 2000A between 1995 and 2050.
// Never fails; a non-finite date gives non-finite angles.
Nutation nutation_iau2000b(double jd);

}  // namespace ephemeris
