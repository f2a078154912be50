// Physical and numerical constants shared by the whole engine, with their units.
#pragma once

namespace ephemeris {

inline constexpr double kJ2000JulianDay = 2451545.0;          // Julian day of J2000.0 (TDB/TT)
inline constexpr double kSecondsPerDay = 86400.0;             // s
inline constexpr double kDaysPerSecond = 1.1574074074074073e-05;  // d, one second (1/86400)
inline constexpr double kDaysPerJulianCentury = 36525.0;      // d
inline constexpr double kKmPerAu = 149597870.7;               // km per astronomical unit
inline constexpr double kSpeedOfLightKmPerS = 299792.458;     // km/s
inline constexpr double kDegreesPerRadian = 57.29577951308232;   // 180/pi
inline constexpr double kRadiansPerDegree = 0.017453292519943295; // pi/180
inline constexpr double kRadiansPerArcsecond = 4.84813681109536e-6;
inline constexpr double kTwoPi = 6.283185307179586;            // one turn, rad

// J2000 mean obliquity, 84381.448 arcseconds, as its sine and cosine.
inline constexpr double kSinObliquityJ2000 = 0.39777715593191365;
inline constexpr double kCosObliquityJ2000 = 0.9174820620691818;

}  // namespace ephemeris
