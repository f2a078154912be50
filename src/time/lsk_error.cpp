#include "time/lsk_error.h"

#include "core/text_format.h"

namespace ephemeris {

std::string message(const LskError& error) {
  switch (error.kind) {
    case LskError::Kind::Io:
      return "failed to read leap-second kernel: " + error.detail;
    case LskError::Kind::InvalidPath:
      return "leap-second kernel path has no UTF-8 filename";
    case LskError::Kind::InvalidSha256:
      return "leap-second kernel SHA-256 must contain exactly 64 hexadecimal characters";
    case LskError::Kind::MissingDataSection:
      return "leap-second kernel has no \\begindata section";
    case LskError::Kind::MissingKeyword:
      return "leap-second kernel is missing required keyword " + error.key;
    case LskError::Kind::InvalidValue:
      return "invalid value for " + error.key + ": " + error.detail;
    case LskError::Kind::InvalidDateLiteral:
      return "invalid NAIF date literal " + quote_text(error.detail);
    case LskError::Kind::NonAscendingEntries:
      return "DELTET/DELTA_AT entries must be strictly ascending in effective date";
  }
  return {};
}

}  // namespace ephemeris
