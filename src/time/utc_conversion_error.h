// The error of the time-scale conversions, and its messages.
#pragma once

#include <cstdint>

#include "core/errors.h"
#include "time/eop_error.h"

namespace ephemeris {

struct UtcConversionError {
  enum class Kind : std::uint8_t {
    TimeConversion,           // `time_conversion`: a non-finite date, or UT1 without a table
    Eop,                      // `eop`: the Earth orientation table refused the date
    MissingEarthOrientation,  // UT1 was asked for without a table
    BeforeFirstLeapSecond,    // `utc_jd` precedes `first_effective_jd`
  };

  Kind kind = Kind::TimeConversion;
  TimeConversionError time_conversion;
  EopError eop;
  double utc_jd = 0.0;
  double first_effective_jd = 0.0;

  static UtcConversionError from(TimeConversionError error) { return {Kind::TimeConversion, error, {}, 0.0, 0.0}; }
  static UtcConversionError from(EopError error) { return {Kind::Eop, {}, std::move(error), 0.0, 0.0}; }
  static UtcConversionError missing_earth_orientation() { return {Kind::MissingEarthOrientation, {}, {}, 0.0, 0.0}; }
  static UtcConversionError before_first_leap_second(double utc_jd, double first_effective_jd) {
    return {Kind::BeforeFirstLeapSecond, {}, {}, utc_jd, first_effective_jd};
  }

  friend bool operator==(const UtcConversionError&, const UtcConversionError&) = default;
};

// The inner error's own text, "UT1 requires an Earth orientation table (DUT1); ...",
// or "UTC Julian day {jd} precedes the kernel's earliest leap-second entry ({first}); ...".
std::string message(const UtcConversionError& error);

}  // namespace ephemeris
