// DAF/SPK binary layout: the file record, summaries and segment descriptors.
//
// A DAF file is a sequence of 1024-byte records numbered from 1, also
// addressed in 8-byte words numbered from 1. Record 1 is the file record; the
// summaries sit in a doubly linked chain of summary records starting at
// FWARD, each followed by its name record.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <expected>
#include <span>
#include <string>
#include <string_view>

#include "spk/spk_error.h"

namespace ephemeris {

inline constexpr std::size_t kDafRecordBytes = 1024;
inline constexpr std::size_t kDafWordBytes = 8;
inline constexpr std::uint32_t kSpkDoublesPerSummary = 2;   // ND
inline constexpr std::uint32_t kSpkIntegersPerSummary = 6;  // NI
inline constexpr std::size_t kSpkSummaryBytes = 40;         // (ND + NI / 2) words

// The validated contents of record 1.
struct DafFileRecord {
  std::string internal_file_name;  // trailing blanks and NULs removed
  std::uint32_t nd = 0;            // doubles per summary
  std::uint32_t ni = 0;            // integers per summary
  std::uint32_t fward = 0;         // first summary record
  std::uint32_t bward = 0;         // last summary record
  std::uint32_t free = 0;          // first free word address
  bool big_endian = false;         // "BIG-IEEE" rather than "LTL-IEEE"
};

// One segment descriptor from a summary and its name.
struct SpkSegment {
  std::string identifier;     // segment name, trailing blanks and NULs removed
  double start_seconds = 0;   // coverage start, TDB seconds past J2000 (finite)
  double end_seconds = 0;     // coverage end, >= start_seconds
  std::int32_t target = 0;    // NAIF code
  std::int32_t center = 0;    // NAIF code
  std::int32_t frame = 0;     // kept, never interpreted (ICRF/J2000 assumed)
  std::int32_t data_type = 0; // SPK data type; only 2 can be evaluated
  std::int32_t start_address = 0;  // one-based word address of the first data word
  std::int32_t end_address = 0;    // of the last data word, >= start_address
  friend bool operator==(const SpkSegment&, const SpkSegment&) = default;
};

// Validates the 1024 bytes of record 1 (identification word, binary format,
// summary counts, chain pointers, free address, internal name).
std::expected<DafFileRecord, SpkError> parse_file_record(std::span<const std::byte, kDafRecordBytes> bytes);

// Decodes UTF-8 (else InvalidUtf8(field)) and removes trailing blanks and
// NULs; leading characters and other trailing whitespace are kept.
std::expected<std::string, SpkError> parse_ascii_field(std::span<const std::byte> bytes, std::string_view field);

// Decodes one 40-byte SPK summary (ND = 2, NI = 6) in the file's byte order.
std::expected<SpkSegment, SpkError> parse_spk_summary(std::span<const std::byte, kSpkSummaryBytes> bytes,
                                                      std::string identifier, bool big_endian);

// The 8 bytes as an IEEE double in the file's byte order.
inline double read_f64(std::span<const std::byte, 8> bytes, bool big_endian) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, bytes.data(), 8);
  if (big_endian != (std::endian::native == std::endian::big)) bits = std::byteswap(bits);
  return std::bit_cast<double>(bits);
}

// 32-bit integers in the file's byte order.
inline std::uint32_t read_u32(std::span<const std::byte, 4> bytes, bool big_endian) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, bytes.data(), 4);
  if (big_endian != (std::endian::native == std::endian::big)) bits = std::byteswap(bits);
  return bits;
}

inline std::int32_t read_i32(std::span<const std::byte, 4> bytes, bool big_endian) {
  return static_cast<std::int32_t>(read_u32(bytes, big_endian));
}

}  // namespace ephemeris
