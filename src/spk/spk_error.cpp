#include "spk/spk_error.h"

#include "core/text_format.h"

namespace ephemeris {

std::string message(const SpkError& error) {
  using Kind = SpkError::Kind;
  switch (error.kind()) {
    case Kind::Io:
      return "failed to read SPK kernel: " + message(error.io_error());
    case Kind::BadIdentifier:
      return "expected DAF/SPK file identifier, found " + quote_text(error.file_text());
    case Kind::UnsupportedBinaryFormat:
      return "unsupported DAF binary format " + quote_text(error.file_text());
    case Kind::InvalidUtf8:
      return "invalid UTF-8 in " + std::string(error.reason());
    case Kind::InvalidFileRecord:
      return "invalid DAF file record: " + std::string(error.reason());
    case Kind::UnsupportedSummaryLayout:
      return "unsupported SPK summary layout ND=" + std::to_string(error.layout().nd) +
             ", NI=" + std::to_string(error.layout().ni);
    case Kind::InvalidSummaryChain:
      return "invalid DAF summary chain: " + std::string(error.reason());
    case Kind::InvalidSegment:
      return "invalid SPK segment: " + std::string(error.reason());
    case Kind::UnsupportedSegmentType:
      return "unsupported SPK segment type " + std::to_string(error.code());
    case Kind::EpochOutsideSegment: {
      const auto& r = error.epoch_range();
      return "TDB epoch " + format_plain_number(r.epoch) + " is outside segment coverage [" +
             format_plain_number(r.start) + ", " + format_plain_number(r.end) + "]";
    }
    case Kind::InvalidType2Segment:
      return "invalid SPK Type 2 segment: " + std::string(error.reason());
    case Kind::NoSegmentForCenterChain: {
      const auto& b = error.chain_break();
      return "no SPK segment continues the center chain from target " + std::to_string(b.target) +
             " at TDB epoch " + format_plain_number(b.epoch);
    }
    case Kind::CenterChainCycle:
      return "SPK center chain for target " + std::to_string(error.code()) + " contains a cycle";
  }
  return {};
}

}  // namespace ephemeris
