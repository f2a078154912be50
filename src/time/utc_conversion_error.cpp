#include "time/utc_conversion_error.h"

#include "core/text_format.h"

namespace ephemeris {

std::string message(const UtcConversionError& error) {
  switch (error.kind) {
    case UtcConversionError::Kind::TimeConversion:
      return message(error.time_conversion);
    case UtcConversionError::Kind::Eop:
      return message(error.eop);
    case UtcConversionError::Kind::MissingEarthOrientation:
      return "UT1 requires an Earth orientation table (DUT1); attach one with SpkEphemeris::with_eop";
    case UtcConversionError::Kind::BeforeFirstLeapSecond:
      return "UTC Julian day " + format_plain_number(error.utc_jd) + " precedes the kernel's earliest leap-second entry (" +
             format_plain_number(error.first_effective_jd) + "); the offset is not extrapolated";
  }
  return {};
}

}  // namespace ephemeris
