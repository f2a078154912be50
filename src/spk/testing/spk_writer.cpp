#include "spk/testing/spk_writer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>

namespace ephemeris::testing {

void KernelImage::put_bytes(std::size_t offset, std::string_view text) {
  if (offset + text.size() > bytes.size()) throw std::out_of_range("write past the end of the image");
  std::memcpy(bytes.data() + offset, text.data(), text.size());
}
void KernelImage::put_u32(std::size_t offset, std::uint32_t value) {
  if (big_endian != (std::endian::native == std::endian::big)) value = std::byteswap(value);
  put_bytes(offset, {reinterpret_cast<const char*>(&value), 4});
}
void KernelImage::put_f64(std::size_t offset, double value) {
  auto bits = std::bit_cast<std::uint64_t>(value);
  if (big_endian != (std::endian::native == std::endian::big)) bits = std::byteswap(bits);
  put_bytes(offset, {reinterpret_cast<const char*>(&bits), 8});
}

KernelImage build_kernel(const KernelSpec& spec) {
  const auto padded = [](std::string text, std::size_t width) { return text.resize(width, ' '), text; };
  const std::size_t per_record = std::clamp<std::size_t>(spec.summaries_per_record, 1, 25);
  const std::size_t count = spec.segments.size();
  const std::size_t summary_records = std::max<std::size_t>(1, (count + per_record - 1) / per_record);
  KernelImage image{.bytes = {}, .big_endian = spec.big_endian, .start_addresses = {}};
  std::size_t address = (2 * summary_records + 1) * 128 + 1;  // after the file, summary and name records
  for (const SegmentSpec& segment : spec.segments) {
    image.start_addresses.push_back(static_cast<std::int32_t>(address));
    address += segment.data.size();
  }
  image.bytes.assign(std::max(2 * summary_records + 1, (address + 126) / 128) * 1024, std::byte{0});
  image.put_bytes(0, "DAF/SPK ");
  image.put_u32(8, 2);  // ND
  image.put_u32(12, 6);  // NI
  image.put_bytes(16, padded(spec.internal_name, 60));
  image.put_u32(76, 2);
  image.put_u32(80, static_cast<std::uint32_t>(2 * summary_records));
  image.put_u32(84, static_cast<std::uint32_t>(address));
  image.put_bytes(88, spec.big_endian ? "BIG-IEEE" : "LTL-IEEE");
  for (std::uint32_t r = 0; r < summary_records; ++r) {
    const std::uint32_t record = 2 + 2 * r;
    const std::size_t first = r * per_record, in_record = std::min(per_record, count - std::min(count, first));
    image.put_f64(KernelImage::control_offset(record, 0), r + 1 < summary_records ? record + 2 : 0);
    image.put_f64(KernelImage::control_offset(record, 1), r > 0 ? record - 2 : 0);
    image.put_f64(KernelImage::control_offset(record, 2), static_cast<double>(in_record));
    for (std::size_t i = 0; i < in_record; ++i) {
      const SegmentSpec& segment = spec.segments[first + i];
      const std::int32_t start = image.start_addresses[first + i];
      const std::size_t at = KernelImage::summary_offset(record, i);
      image.put_f64(at, segment.start_seconds);
      image.put_f64(at + 8, segment.end_seconds);
      const std::int32_t integers[] = {segment.target, segment.center, 1, segment.data_type, start,
                                       start + static_cast<std::int32_t>(segment.data.size()) - 1};
      for (int k = 0; k < 6; ++k) image.put_u32(at + 16 + 4 * k, static_cast<std::uint32_t>(integers[k]));
      image.put_bytes(KernelImage::name_offset(record, i), padded(segment.identifier, 40));
      for (std::size_t w = 0; w < segment.data.size(); ++w) {
        image.put_f64(KernelImage::word_offset(start) + 8 * w, segment.data[w]);
      }
    }
  }
  return image;
}

SegmentSpec linear_segment(std::int32_t target, std::int32_t center, double init, double interval_length,
                           std::uint32_t record_count, const std::array<double, 3>& base,
                           const std::array<double, 3>& velocity, double step) {
  const double radius = interval_length / 2.0;
  SegmentSpec segment{.identifier = "segment " + std::to_string(target) + " wrt " + std::to_string(center),
                      .target = target, .center = center, .data_type = 2, .start_seconds = init,
                      .end_seconds = init + record_count * interval_length, .data = {}};
  for (std::uint32_t r = 0; r < record_count; ++r) {
    segment.data.insert(segment.data.end(), {init + (r + 0.5) * interval_length, radius});
    for (int axis = 0; axis < 3; ++axis) {
      segment.data.insert(segment.data.end(), {base[axis] + r * step, velocity[axis] * radius});
    }
  }
  segment.data.insert(segment.data.end(), {init, interval_length, 8, static_cast<double>(record_count)});
  return segment;
}

SegmentSpec fixed_segment(std::int32_t target, std::int32_t center, const std::array<double, 3>& position,
                          double start, std::uint32_t records) {
  return linear_segment(target, center, start, 1000.0, records, position, {0, 0, 0});
}

SpkKernel kernel_of(std::vector<SegmentSpec> segments, std::size_t summaries_per_record) {
  const KernelSpec spec{.summaries_per_record = summaries_per_record, .segments = std::move(segments)};
  return SpkKernel::from_bytes(build_kernel(spec).bytes).value();
}

}  // namespace ephemeris::testing
