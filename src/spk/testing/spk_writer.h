// Writes small SPK kernels for tests (linear Type 2 segments, either byte
// order) and patches their bytes to build broken files. Test use only.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "spk/spk_kernel.h"

namespace ephemeris::testing {

// One segment: its summary, its name and its data words (records, then directory).
struct SegmentSpec {
  std::string identifier;
  std::int32_t target = 0, center = 0, data_type = 2;
  double start_seconds = 0, end_seconds = 0;
  std::vector<double> data;
};

struct KernelSpec {
  bool big_endian = false;
  std::string internal_name = "test kernel";
  std::size_t summaries_per_record = 25;  // fewer spreads the summaries over a longer chain
  std::vector<SegmentSpec> segments;
};

// The bytes of a kernel: the file record, summary records 2, 4, 6, ... (each
// followed by its name record), then the data. Writes use the file's byte order.
struct KernelImage {
  std::vector<std::byte> bytes;
  bool big_endian = false;
  std::vector<std::int32_t> start_addresses;  // first data word of each segment

  void put_f64(std::size_t offset, double value);
  void put_u32(std::size_t offset, std::uint32_t value);
  void put_bytes(std::size_t offset, std::string_view text);

  // Byte offsets of a summary record's control word (0 NEXT, 1 PREV, 2 NSUM),
  // of summary `index` in it and of its name, and of a one-based data word.
  static std::size_t control_offset(std::uint32_t record, int word) { return (record - 1) * 1024 + word * 8; }
  static std::size_t summary_offset(std::uint32_t record, std::size_t i) { return (record - 1) * 1024 + 24 + i * 40; }
  static std::size_t name_offset(std::uint32_t record, std::size_t i) { return record * 1024 + i * 40; }
  static std::size_t word_offset(std::int32_t address) { return (static_cast<std::size_t>(address) - 1) * 8; }
};

KernelImage build_kernel(const KernelSpec& spec);

// `record_count` intervals of `interval_length` s from `init`, linear in each
// (RSIZE 8): record r holds base + r * step (km, each axis) at its midpoint
// and `velocity` (km/s).
SegmentSpec linear_segment(std::int32_t target, std::int32_t center, double init, double interval_length,
                           std::uint32_t record_count, const std::array<double, 3>& base,
                           const std::array<double, 3>& velocity, double step = 0.0);

// A constant position over [start, start + 1000 * records].
SegmentSpec fixed_segment(std::int32_t target, std::int32_t center, const std::array<double, 3>& position,
                          double start = 0.0, std::uint32_t records = 1);

// A kernel of these segments, read from memory.
SpkKernel kernel_of(std::vector<SegmentSpec> segments, std::size_t summaries_per_record = 25);

// "ok", or the text of the error.
template <typename T, typename E>
std::string outcome(const std::expected<T, E>& result) {
  return result ? "ok" : message(result.error());
}

}  // namespace ephemeris::testing
