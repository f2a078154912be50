// Ayanamsha: the offset of a sidereal zodiac from the tropical ecliptic
// longitude of date, and its rate.
#pragma once

#include <cstdint>
#include <expected>

#include "core/errors.h"

namespace ephemeris {

enum class SiderealMode : std::uint8_t {
  Lahiri,        // 23.25 degrees at JD 2435553.5 (1956 March 21.0)
  FaganBradley,  // 24 deg 02' 31.36" at JD 2433282.42345905 (1949 December 31.92)
};

// Ayanamsha in degrees at TT Julian date `tt_jd`: the mode's value at its
// reference epoch advanced by the IAU 2006 general precession in longitude.
// Sidereal longitude = tropical longitude of date - ayanamsha.
// Error: NonFinite for a NaN or infinite date.
std::expected<double, CoordinateError> ayanamsha_deg(SiderealMode mode, double tt_jd);

// Rate of the ayanamsha in degrees per day at TT Julian date `tt_jd`, the same
// for every mode (about 3.82e-5 degrees per day).
// Error: NonFinite for a NaN or infinite date.
std::expected<double, CoordinateError> ayanamsha_rate_deg_per_day(double tt_jd);

}  // namespace ephemeris
