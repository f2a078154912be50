// Physical and numerical constants shared by the whole engine, with their
// units. Base values are written as published; the others are derived from
// them, and each derivation gives the same double as the literal it stands for
// (checked where it is written). Constants of one computation only live beside
// it, derived from these.
#pragma once

#include <numbers>

namespace ephemeris {

// Time.
inline constexpr double kJ2000JulianDay = 2451545.0;                // Julian day of J2000.0 (TDB/TT), d
inline constexpr double kSecondsPerDay = 86400.0;                   // s per d
inline constexpr double kDaysPerJulianCentury = 36525.0;            // d
inline constexpr double kDaysPerSecond = 1.0 / kSecondsPerDay;      // d, one second
static_assert(kDaysPerSecond == 1.1574074074074073e-05);

// Angles.
inline constexpr double kTwoPi = 2.0 * std::numbers::pi;            // one turn, rad
inline constexpr double kDegreesPerRadian = 180.0 / std::numbers::pi;
inline constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;
inline constexpr double kArcminutesPerDegree = 60.0;
inline constexpr double kArcsecondsPerDegree = 3600.0;
inline constexpr double kArcsecondsPerTurn = 360.0 * kArcsecondsPerDegree;          // 1296000
inline constexpr double kRadiansPerArcsecond = kRadiansPerDegree / kArcsecondsPerDegree;
static_assert(kTwoPi == 6.283185307179586);
static_assert(kDegreesPerRadian == 57.29577951308232);
static_assert(kRadiansPerDegree == 0.017453292519943295);
static_assert(kArcsecondsPerTurn == 1296000.0);
static_assert(kRadiansPerArcsecond == 4.84813681109536e-6);

// Lengths and light.
inline constexpr double kMetresPerKm = 1000.0;
inline constexpr double kKmPerAu = 149597870.7;                     // km per astronomical unit (IAU 2012)
inline constexpr double kSpeedOfLightKmPerS = 299792.458;           // km/s

// J2000 mean obliquity of the ecliptic (IAU 1976), 84381.448 arcseconds.
inline constexpr double kObliquityJ2000Arcsec = 84381.448;
inline constexpr double kObliquityJ2000Rad = kObliquityJ2000Arcsec * kRadiansPerArcsecond;
// Its sine and cosine, which libm cannot give at compile time. The cosine is
// the correctly rounded cos(kObliquityJ2000Rad); the sine, as the engine has
// always used it, is one unit in the last place below the correctly rounded
// 0.3977771559319137 (core/constants_test.cpp checks both).
inline constexpr double kSinObliquityJ2000 = 0.39777715593191365;
inline constexpr double kCosObliquityJ2000 = 0.9174820620691818;

}  // namespace ephemeris
