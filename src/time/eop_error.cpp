#include "time/eop_error.h"

#include "core/text_format.h"

namespace ephemeris {

std::string message(const EopError& error) {
  switch (error.kind) {
    case EopError::Kind::Io:
      return error.io_text;
    case EopError::Kind::InvalidPath:
      return "EOP table path has no filename";
    case EopError::Kind::InvalidSha256:
      return "EOP table SHA-256 must be 64 hexadecimal characters";
    case EopError::Kind::NoSamples:
      return "EOP table contains no DUT1 samples";
    case EopError::Kind::NonIncreasing:
      return "EOP DUT1 samples must be strictly increasing in UTC";
    case EopError::Kind::InvalidLine:
      return "invalid IERS EOP 20 C04 line " + std::to_string(error.line_number);
    case EopError::Kind::InvalidBulletinALine:
      return "invalid IERS Bulletin A line " + std::to_string(error.line_number);
    case EopError::Kind::NonFiniteSample:
      return "EOP epoch, DUT1, and polar motion must be finite";
    case EopError::Kind::OutsideCoverage:
      return "UTC Julian day " + format_plain_number(error.utc_jd) + " is outside EOP coverage [" +
             format_plain_number(error.first_jd) + ", " + format_plain_number(error.last_jd) + "]";
  }
  return {};
}

}  // namespace ephemeris
