// Writes small DAF/SPK kernels for tests: Type 2 (or any type) segments with
// chosen records and directories, little- or big-endian, plus byte-level
// patching to build deliberately broken files. Test use only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ephemeris::testing {

// One segment: its summary, name and data words (records then directory).
struct SegmentSpec {
  std::string identifier;
  std::int32_t target = 0;
  std::int32_t center = 0;
  std::int32_t frame = 1;
  std::int32_t data_type = 2;
  double start_seconds = 0;
  double end_seconds = 0;
  std::vector<double> data;
  // When set, written into the summary instead of the real data addresses.
  std::optional<std::int32_t> start_address_override;
  std::optional<std::int32_t> end_address_override;
};

struct KernelSpec {
  bool big_endian = false;
  std::string internal_name = "test kernel";
  std::size_t summaries_per_record = 25;  // fewer spreads the summaries over a longer chain
  std::vector<SegmentSpec> segments;
};

// The bytes of a kernel and where its parts sit, for patching.
struct KernelImage {
  std::vector<std::byte> bytes;
  bool big_endian = false;
  std::vector<std::uint32_t> summary_records;  // record numbers in chain order
  std::vector<std::int32_t> start_addresses;   // data word address of each segment

  // Overwrite values in the file's byte order at a byte offset.
  void put_f64(std::size_t offset, double value);
  void put_u32(std::size_t offset, std::uint32_t value);
  void put_bytes(std::size_t offset, std::string_view text);

  // Byte offset of a summary record's control word (0 NEXT, 1 PREV, 2 NSUM),
  // of summary `index` in that record, and of a one-based data word.
  static std::size_t control_offset(std::uint32_t record, int word);
  static std::size_t summary_offset(std::uint32_t record, std::size_t index);
  static std::size_t name_offset(std::uint32_t record, std::size_t index);
  static std::size_t word_offset(std::int32_t address);
};

// Lays out the file record, a chain of summary/name record pairs (records
// 2-3, 4-5, ...) and then the segment data, padded to whole records.
KernelImage build_kernel(const KernelSpec& spec);

// Data words of a Type 2 segment: the records (each MID, RADIUS and the
// coefficients) followed by the directory INIT, INTLEN, RSIZE, N.
std::vector<double> type2_data(double init, double interval_length, double record_size, double record_count,
                               const std::vector<std::vector<double>>& records);

// A Type 2 segment of `record_count` intervals of `interval_length` seconds
// from `init`, whose position is linear in each interval (RSIZE 8):
// record r holds position base + r * step (km, each axis) at its midpoint and
// velocity `velocity` (km/s, each axis).
SegmentSpec linear_segment(std::int32_t target, std::int32_t center, double init, double interval_length,
                           std::uint32_t record_count, const std::array<double, 3>& base,
                           const std::array<double, 3>& velocity, double step = 0.0);

}  // namespace ephemeris::testing
