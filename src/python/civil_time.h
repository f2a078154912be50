// Julian days and proleptic Gregorian civil times (years 1 to 9999, the range
// of Python's datetime), with every day 86,400 s long: the count the UTC
// Julian days of the engine use, which give no Julian day to a leap second.
#pragma once

#include <cstdint>
#include <optional>

namespace ephemeris {

struct CivilTime {
  int year;
  int month;        // 1 to 12
  int day;          // 1 to 31
  int hour;         // 0 to 23
  int minute;       // 0 to 59
  int second;       // 0 to 59
  int microsecond;  // 0 to 999999
};

inline constexpr std::int64_t kMicrosecondsPerDay = 86'400'000'000;

// The Julian day of the civil date (a valid date of years 1 to 9999) plus
// `microseconds` from its midnight (any value; whole days carry into the
// date): the date's midnight, exact, plus the fraction of the day, the sum
// rounded once (within 20 us of the exact value for present dates).
double julian_day_from_civil(int year, int month, int day, std::int64_t microseconds);

// The civil time of `julian_day` to the microsecond: of the times that read
// back to this same Julian day through julian_day_from_civil, the roundest
// (most trailing zeros in its microsecond count, then nearest to the day's
// exact value), as a float prints with the fewest digits that read back;
// when none reads back, the exact value rounded to the nearest microsecond,
// ties to even. Every time at a whole 100 us therefore comes back unchanged
// (the spacing of Julian days is below 100 us up to the year 9999). Nothing
// when the result is not within years 1 to 9999 (or the day is not finite).
std::optional<CivilTime> civil_from_julian_day(double julian_day);

}  // namespace ephemeris
