// The error of every kernel operation: reading the file, walking the summary
// chain, evaluating Type 2 segments and following centre chains.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "spk/kernel_source.h"

namespace ephemeris {

class SpkError {
 public:
  enum class Kind : std::uint8_t {
    Io,                       // "failed to read SPK kernel: {error}"
    BadIdentifier,            // "expected DAF/SPK file identifier, found {bytes}"
    UnsupportedBinaryFormat,  // "unsupported DAF binary format {format}"
    InvalidUtf8,              // "invalid UTF-8 in {field}"
    InvalidFileRecord,        // "invalid DAF file record: {reason}"
    UnsupportedSummaryLayout, // "unsupported SPK summary layout ND={nd}, NI={ni}"
    InvalidSummaryChain,      // "invalid DAF summary chain: {reason}"
    InvalidSegment,           // "invalid SPK segment: {reason}"
    UnsupportedSegmentType,   // "unsupported SPK segment type {type}"
    EpochOutsideSegment,      // "TDB epoch {epoch} is outside segment coverage [{start}, {end}]"
    InvalidType2Segment,      // "invalid SPK Type 2 segment: {reason}"
    NoSegmentForCenterChain,  // "no SPK segment continues the center chain from target {target} at TDB epoch {epoch}"
    CenterChainCycle,         // "SPK center chain for target {target} contains a cycle"
  };

  struct SummaryLayout {
    std::uint32_t nd;
    std::uint32_t ni;
  };
  struct EpochRange {
    double epoch;  // TDB seconds past J2000
    double start;
    double end;
  };
  struct ChainBreak {
    std::int32_t target;
    double epoch;  // TDB seconds past J2000
  };

  // Up to 8 bytes of file text (the identification word, the binary format),
  // kept inline so that the error stays a trivially copyable value.
  struct ShortText {
    std::array<char, 8> bytes{};
    std::uint8_t size = 0;
    std::string_view view() const { return {bytes.data(), size}; }
  };

  static SpkError io(KernelIoError error) { return {Kind::Io, error}; }
  // The first 8 bytes of the file.
  static SpkError bad_identifier(std::string_view bytes) { return {Kind::BadIdentifier, short_text(bytes)}; }
  // The trimmed format text (at most 8 bytes).
  static SpkError unsupported_binary_format(std::string_view format) {
    return {Kind::UnsupportedBinaryFormat, short_text(format)};
  }
  // Field names and reasons are fixed texts with static storage.
  static SpkError invalid_utf8(std::string_view field) { return {Kind::InvalidUtf8, field}; }
  static SpkError invalid_file_record(std::string_view reason) { return {Kind::InvalidFileRecord, reason}; }
  static SpkError unsupported_summary_layout(std::uint32_t nd, std::uint32_t ni) {
    return {Kind::UnsupportedSummaryLayout, SummaryLayout{nd, ni}};
  }
  static SpkError invalid_summary_chain(std::string_view reason) { return {Kind::InvalidSummaryChain, reason}; }
  static SpkError invalid_segment(std::string_view reason) { return {Kind::InvalidSegment, reason}; }
  static SpkError unsupported_segment_type(std::int32_t data_type) {
    return {Kind::UnsupportedSegmentType, data_type};
  }
  static SpkError epoch_outside_segment(double epoch, double start, double end) {
    return {Kind::EpochOutsideSegment, EpochRange{epoch, start, end}};
  }
  static SpkError invalid_type2_segment(std::string_view reason) { return {Kind::InvalidType2Segment, reason}; }
  static SpkError no_segment_for_center_chain(std::int32_t target, double epoch) {
    return {Kind::NoSegmentForCenterChain, ChainBreak{target, epoch}};
  }
  static SpkError center_chain_cycle(std::int32_t target) { return {Kind::CenterChainCycle, target}; }

  Kind kind() const { return kind_; }

  // Payload accessors; each is valid only for the kinds named.
  const KernelIoError& io_error() const { return std::get<KernelIoError>(payload_); }             // Io
  std::string_view file_text() const { return std::get<ShortText>(payload_).view(); }  // BadIdentifier, format
  std::string_view reason() const { return std::get<std::string_view>(payload_); }  // fixed-text kinds
  const SummaryLayout& layout() const { return std::get<SummaryLayout>(payload_); }
  std::int32_t code() const { return std::get<std::int32_t>(payload_); }  // segment type or cycle target
  const EpochRange& epoch_range() const { return std::get<EpochRange>(payload_); }
  const ChainBreak& chain_break() const { return std::get<ChainBreak>(payload_); }

 private:
  using Payload =
      std::variant<KernelIoError, ShortText, std::string_view, SummaryLayout, std::int32_t, EpochRange, ChainBreak>;
  SpkError(Kind kind, Payload payload) : kind_(kind), payload_(payload) {}
  static ShortText short_text(std::string_view text) {
    ShortText out;
    out.size = static_cast<std::uint8_t>(text.copy(out.bytes.data(), out.bytes.size()));
    return out;
  }

  Kind kind_;
  Payload payload_;
};

// The fixed English text of an error.
std::string message(const SpkError& error);

}  // namespace ephemeris
