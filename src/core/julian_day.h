// Julian days (TT or TDB) counted from J2000.0: in Julian centuries, and in
// seconds and back. Every conversion of a Julian day to or from J2000 time
// goes through these, so each is written, and rounded, the same way everywhere.
#pragma once

#include "core/constants.h"

namespace ephemeris {

// Julian centuries from J2000.0 of the Julian day `jd` (days).
constexpr double julian_centuries_since_j2000(double jd) { return (jd - kJ2000JulianDay) / kDaysPerJulianCentury; }

// Seconds from J2000.0 of the Julian day `jd` (days).
constexpr double seconds_since_j2000(double jd) { return (jd - kJ2000JulianDay) * kSecondsPerDay; }

// Julian day of `seconds` from J2000.0.
constexpr double julian_day_from_seconds_since_j2000(double seconds) {
  return seconds / kSecondsPerDay + kJ2000JulianDay;
}

}  // namespace ephemeris
