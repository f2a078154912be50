#include "python/civil_time.h"

#include <cmath>

namespace ephemeris {
namespace {

// Julian day number (the day starting at noon) of a proleptic Gregorian date,
// in integers: Fliegel and Van Flandern (1968), as in ERFA's iauCal2jd.
std::int64_t day_number(std::int64_t year, std::int64_t month, std::int64_t day) {
  const std::int64_t a = (month - 14) / 12;  // -1 for January and February, else 0
  return (1461 * (year + 4800 + a)) / 4 + (367 * (month - 2 - 12 * a)) / 12 -
         (3 * ((year + 4900 + a) / 100)) / 4 + day - 32075;
}

// The inverse, for positive day numbers (ERFA's iauJd2cal).
void date_of(std::int64_t number, CivilTime& civil) {
  std::int64_t l = number + 68569;
  const std::int64_t n = (4 * l) / 146097;
  l -= (146097 * n + 3) / 4;
  const std::int64_t i = (4000 * (l + 1)) / 1461001;
  l -= (1461 * i) / 4 - 31;
  const std::int64_t k = (80 * l) / 2447;
  civil.day = static_cast<int>(l - (2447 * k) / 80);
  l = k / 11;
  civil.month = static_cast<int>(k + 2 - 12 * l);
  civil.year = static_cast<int>(100 * (n - 49) + i + l);
}

__extension__ using Int128 = __int128;  // GCC and Clang: exact products of 53 and 37 bits

constexpr std::int64_t kFirstDayNumber = 1721426;  // 0001-01-01
constexpr std::int64_t kLastDayNumber = 5373484;   // 9999-12-31

// round(fraction * 86400e6) with ties to even, exactly, for 0 <= fraction < 1:
// fraction = m * 2^-s with an integer m of at most 53 bits.
std::int64_t microseconds_of(double fraction) {
  if (fraction == 0.0) return 0;
  int exponent = 0;
  const double mantissa = std::frexp(fraction, &exponent);  // fraction = mantissa * 2^exponent
  const auto m = static_cast<Int128>(std::ldexp(mantissa, 53));
  const int shift = 53 - exponent;  // at least 53
  if (shift >= 120) return 0;       // below 2^-67 of a day
  const Int128 product = m * kMicrosecondsPerDay;
  const Int128 whole = product >> shift;
  const Int128 rest = product - (whole << shift);
  const Int128 half = static_cast<Int128>(1) << (shift - 1);
  const bool up = rest > half || (rest == half && (whole & 1) != 0);
  return static_cast<std::int64_t>(whole + (up ? 1 : 0));
}

// The Julian day `microseconds` after the midnight that starts day `number`.
double julian_day_of(std::int64_t number, std::int64_t microseconds) {
  std::int64_t days = microseconds / kMicrosecondsPerDay;
  std::int64_t rest = microseconds % kMicrosecondsPerDay;
  if (rest < 0) {
    rest += kMicrosecondsPerDay;
    --days;
  }
  const double midnight = static_cast<double>(number + days) - 0.5;
  return midnight + static_cast<double>(rest) / static_cast<double>(kMicrosecondsPerDay);
}

// Of the microsecond counts that read back to `julian_day`, the one with the
// most trailing zeros, nearest to `nearest` among equals; `nearest` itself
// when no rounder count reads back.
std::int64_t roundest_microseconds(double julian_day, std::int64_t number, std::int64_t nearest) {
  for (std::int64_t unit = 1'000'000; unit >= 10; unit /= 10) {
    const std::int64_t below = nearest - ((nearest % unit) + unit) % unit;
    const std::int64_t above = below + unit;
    const bool below_first = nearest - below <= above - nearest;
    for (const std::int64_t candidate : {below_first ? below : above, below_first ? above : below}) {
      if (julian_day_of(number, candidate) == julian_day) return candidate;
    }
  }
  return nearest;
}

}  // namespace

double julian_day_from_civil(int year, int month, int day, std::int64_t microseconds) {
  return julian_day_of(day_number(year, month, day), microseconds);
}

std::optional<CivilTime> civil_from_julian_day(double julian_day) {
  if (!(julian_day >= static_cast<double>(kFirstDayNumber) - 0.5 &&
        julian_day < static_cast<double>(kLastDayNumber) + 0.5)) {
    return std::nullopt;
  }
  // The midnight that starts the day, a half-integer held exactly; the sum
  // above it may round up to the next integer, hence the correction.
  double midnight = std::floor(julian_day + 0.5) - 0.5;
  if (julian_day < midnight) midnight -= 1.0;
  std::int64_t number = static_cast<std::int64_t>(midnight + 0.5);
  std::int64_t microseconds =
      roundest_microseconds(julian_day, number, microseconds_of(julian_day - midnight));  // exact difference
  if (microseconds < 0) {
    microseconds += kMicrosecondsPerDay;
    --number;
  } else if (microseconds >= kMicrosecondsPerDay) {
    microseconds -= kMicrosecondsPerDay;
    ++number;
  }
  if (number < kFirstDayNumber || number > kLastDayNumber) return std::nullopt;
  CivilTime civil{};
  date_of(number, civil);
  const std::int64_t seconds = microseconds / 1'000'000;
  civil.microsecond = static_cast<int>(microseconds % 1'000'000);
  civil.second = static_cast<int>(seconds % 60);
  civil.minute = static_cast<int>(seconds / 60 % 60);
  civil.hour = static_cast<int>(seconds / 3600);
  return civil;
}

}  // namespace ephemeris
