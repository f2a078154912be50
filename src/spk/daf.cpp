#include "spk/daf.h"

#include <array>
#include <cmath>

#include "core/text_format.h"

namespace ephemeris {

namespace {

std::string_view as_chars(std::span<const std::byte> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::string_view trim_blanks_and_nuls(std::string_view text) {
  std::size_t end = text.size();
  while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\0')) --end;
  return text.substr(0, end);
}

}  // namespace

std::expected<std::string, SpkError> parse_ascii_field(std::span<const std::byte> bytes, std::string_view field) {
  const std::string_view text = as_chars(bytes);
  if (!is_valid_utf8(text)) return std::unexpected(SpkError::invalid_utf8(field));
  return std::string(trim_blanks_and_nuls(text));
}

std::expected<DafFileRecord, SpkError> parse_file_record(std::span<const std::byte, kDafRecordBytes> bytes) {
  const std::string_view identification = as_chars(bytes.subspan<0, 8>());
  if (identification != "DAF/SPK ") return std::unexpected(SpkError::bad_identifier(identification));

  const auto format = parse_ascii_field(bytes.subspan<88, 8>(), "binary format");
  if (!format) return std::unexpected(format.error());
  bool big_endian = false;
  if (*format == "LTL-IEEE") {
    big_endian = false;
  } else if (*format == "BIG-IEEE") {
    big_endian = true;
  } else {
    return std::unexpected(SpkError::unsupported_binary_format(*format));
  }

  DafFileRecord record;
  record.big_endian = big_endian;
  record.nd = read_u32(bytes.subspan<8, 4>(), big_endian);
  record.ni = read_u32(bytes.subspan<12, 4>(), big_endian);
  record.fward = read_u32(bytes.subspan<76, 4>(), big_endian);
  record.bward = read_u32(bytes.subspan<80, 4>(), big_endian);
  record.free = read_u32(bytes.subspan<84, 4>(), big_endian);

  if (record.nd == 0 || record.ni == 0) {
    return std::unexpected(SpkError::invalid_file_record("summary component counts must be non-zero"));
  }
  // Summary width in words, in wrapping 32-bit arithmetic: a huge ND wraps and
  // must still be refused, so the sum is compared as computed.
  const std::uint32_t summary_words = record.nd + record.ni / 2 + record.ni % 2;
  if (summary_words >= 126) {
    return std::unexpected(SpkError::invalid_file_record("packed summary cannot fit in a DAF summary record"));
  }
  if (record.fward < 2 || record.bward < record.fward) {
    return std::unexpected(SpkError::invalid_file_record("summary record pointers are inconsistent"));
  }
  if (record.free < 129) {
    return std::unexpected(SpkError::invalid_file_record("first free address points inside the file record"));
  }
  auto name = parse_ascii_field(bytes.subspan<16, 60>(), "internal file name");
  if (!name) return std::unexpected(name.error());
  record.internal_file_name = std::move(*name);
  return record;
}

std::expected<SpkSegment, SpkError> parse_spk_summary(std::span<const std::byte, kSpkSummaryBytes> bytes,
                                                      std::string identifier, bool big_endian) {
  const double start = read_f64(bytes.subspan<0, 8>(), big_endian);
  const double end = read_f64(bytes.subspan<8, 8>(), big_endian);
  if (!std::isfinite(start) || !std::isfinite(end)) {
    return std::unexpected(SpkError::invalid_segment("time bounds must be finite"));
  }
  if (start > end) return std::unexpected(SpkError::invalid_segment("start time is after end time"));

  SpkSegment segment;
  segment.identifier = std::move(identifier);
  segment.start_seconds = start;
  segment.end_seconds = end;
  segment.target = read_i32(bytes.subspan<16, 4>(), big_endian);
  segment.center = read_i32(bytes.subspan<20, 4>(), big_endian);
  segment.frame = read_i32(bytes.subspan<24, 4>(), big_endian);
  segment.data_type = read_i32(bytes.subspan<28, 4>(), big_endian);
  segment.start_address = read_i32(bytes.subspan<32, 4>(), big_endian);
  segment.end_address = read_i32(bytes.subspan<36, 4>(), big_endian);
  if (segment.start_address < 1 || segment.end_address < segment.start_address) {
    return std::unexpected(SpkError::invalid_segment("DAF address bounds are invalid"));
  }
  return segment;
}

}  // namespace ephemeris
