#include "spk/testing/spk_writer.h"

#include <bit>
#include <cstring>
#include <stdexcept>

namespace ephemeris::testing {

namespace {

constexpr std::size_t kRecordBytes = 1024;
constexpr std::size_t kWordsPerRecord = 128;
constexpr std::size_t kSummaryBytes = 40;

template <typename T>
T to_file_order(T value, bool big_endian) {
  if (big_endian != (std::endian::native == std::endian::big)) return std::byteswap(value);
  return value;
}

std::string padded(std::string_view text, std::size_t width) {
  std::string out(text.substr(0, width));
  out.resize(width, ' ');
  return out;
}

}  // namespace

void KernelImage::put_f64(std::size_t offset, double value) {
  const auto bits = to_file_order(std::bit_cast<std::uint64_t>(value), big_endian);
  if (offset + 8 > bytes.size()) throw std::out_of_range("put_f64 past the end of the image");
  std::memcpy(bytes.data() + offset, &bits, 8);
}

void KernelImage::put_u32(std::size_t offset, std::uint32_t value) {
  const auto bits = to_file_order(value, big_endian);
  if (offset + 4 > bytes.size()) throw std::out_of_range("put_u32 past the end of the image");
  std::memcpy(bytes.data() + offset, &bits, 4);
}

void KernelImage::put_bytes(std::size_t offset, std::string_view text) {
  if (offset + text.size() > bytes.size()) throw std::out_of_range("put_bytes past the end of the image");
  std::memcpy(bytes.data() + offset, text.data(), text.size());
}

std::size_t KernelImage::control_offset(std::uint32_t record, int word) {
  return (record - 1) * kRecordBytes + static_cast<std::size_t>(word) * 8;
}

std::size_t KernelImage::summary_offset(std::uint32_t record, std::size_t index) {
  return (record - 1) * kRecordBytes + 24 + index * kSummaryBytes;
}

std::size_t KernelImage::name_offset(std::uint32_t record, std::size_t index) {
  return record * kRecordBytes + index * kSummaryBytes;
}

std::size_t KernelImage::word_offset(std::int32_t address) { return (static_cast<std::size_t>(address) - 1) * 8; }

KernelImage build_kernel(const KernelSpec& spec) {
  const std::size_t per_record = std::max<std::size_t>(1, std::min<std::size_t>(spec.summaries_per_record, 25));
  const std::size_t segment_count = spec.segments.size();
  const std::size_t summary_record_count = std::max<std::size_t>(1, (segment_count + per_record - 1) / per_record);

  KernelImage image;
  image.big_endian = spec.big_endian;
  for (std::size_t i = 0; i < summary_record_count; ++i) {
    image.summary_records.push_back(static_cast<std::uint32_t>(2 + 2 * i));
  }
  const std::size_t first_data_record = 2 + 2 * summary_record_count;
  std::size_t address = (first_data_record - 1) * kWordsPerRecord + 1;
  for (const SegmentSpec& segment : spec.segments) {
    image.start_addresses.push_back(static_cast<std::int32_t>(address));
    address += segment.data.size();
  }
  const std::size_t free_address = address;
  const std::size_t data_words = free_address - 1;
  const std::size_t records = std::max(first_data_record - 1, (data_words + kWordsPerRecord - 1) / kWordsPerRecord);
  image.bytes.assign(records * kRecordBytes, std::byte{0});

  // File record.
  image.put_bytes(0, "DAF/SPK ");
  image.put_u32(8, 2);
  image.put_u32(12, 6);
  image.put_bytes(16, padded(spec.internal_name, 60));
  image.put_u32(76, image.summary_records.front());
  image.put_u32(80, image.summary_records.back());
  image.put_u32(84, static_cast<std::uint32_t>(free_address));
  image.put_bytes(88, spec.big_endian ? "BIG-IEEE" : "LTL-IEEE");

  // Summary and name records.
  for (std::size_t r = 0; r < summary_record_count; ++r) {
    const std::uint32_t record = image.summary_records[r];
    const std::size_t first = r * per_record;
    const std::size_t count = first < segment_count ? std::min(per_record, segment_count - first) : 0;
    image.put_f64(KernelImage::control_offset(record, 0),
                  r + 1 < summary_record_count ? image.summary_records[r + 1] : 0.0);
    image.put_f64(KernelImage::control_offset(record, 1), r > 0 ? image.summary_records[r - 1] : 0.0);
    image.put_f64(KernelImage::control_offset(record, 2), static_cast<double>(count));
    for (std::size_t i = 0; i < count; ++i) {
      const SegmentSpec& segment = spec.segments[first + i];
      const std::int32_t start = image.start_addresses[first + i];
      const auto end = static_cast<std::int32_t>(start + static_cast<std::int64_t>(segment.data.size()) - 1);
      const std::size_t at = KernelImage::summary_offset(record, i);
      image.put_f64(at, segment.start_seconds);
      image.put_f64(at + 8, segment.end_seconds);
      image.put_u32(at + 16, static_cast<std::uint32_t>(segment.target));
      image.put_u32(at + 20, static_cast<std::uint32_t>(segment.center));
      image.put_u32(at + 24, static_cast<std::uint32_t>(segment.frame));
      image.put_u32(at + 28, static_cast<std::uint32_t>(segment.data_type));
      image.put_u32(at + 32, static_cast<std::uint32_t>(segment.start_address_override.value_or(start)));
      image.put_u32(at + 36, static_cast<std::uint32_t>(segment.end_address_override.value_or(end)));
      image.put_bytes(KernelImage::name_offset(record, i), padded(segment.identifier, kSummaryBytes));
    }
  }

  // Segment data.
  for (std::size_t s = 0; s < segment_count; ++s) {
    std::size_t at = KernelImage::word_offset(image.start_addresses[s]);
    for (double word : spec.segments[s].data) {
      image.put_f64(at, word);
      at += 8;
    }
  }
  return image;
}

std::vector<double> type2_data(double init, double interval_length, double record_size, double record_count,
                               const std::vector<std::vector<double>>& records) {
  std::vector<double> words;
  for (const auto& record : records) words.insert(words.end(), record.begin(), record.end());
  words.insert(words.end(), {init, interval_length, record_size, record_count});
  return words;
}

SegmentSpec linear_segment(std::int32_t target, std::int32_t center, double init, double interval_length,
                           std::uint32_t record_count, const std::array<double, 3>& base,
                           const std::array<double, 3>& velocity, double step) {
  const double radius = interval_length / 2.0;
  std::vector<std::vector<double>> records;
  for (std::uint32_t r = 0; r < record_count; ++r) {
    const double mid = init + (r + 0.5) * interval_length;
    std::vector<double> record = {mid, radius};
    for (int axis = 0; axis < 3; ++axis) {
      record.push_back(base[axis] + r * step);
      record.push_back(velocity[axis] * radius);
    }
    records.push_back(std::move(record));
  }
  SegmentSpec segment;
  segment.identifier = "segment " + std::to_string(target) + " wrt " + std::to_string(center);
  segment.target = target;
  segment.center = center;
  segment.start_seconds = init;
  segment.end_seconds = init + record_count * interval_length;
  segment.data = type2_data(init, interval_length, 8, record_count, records);
  return segment;
}

}  // namespace ephemeris::testing
