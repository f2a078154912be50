#include "spk/daf.h"

#include <array>
#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "spk/spk_kernel.h"
#include "spk/testing/spk_writer.h"
#include "time/testing/temp_dir.h"

namespace ephemeris {
namespace {

using testing::KernelImage;
using testing::KernelSpec;
using testing::TempFile;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

KernelSpec three_segment_spec(bool big_endian = false) {
  KernelSpec spec;
  spec.big_endian = big_endian;
  spec.segments.push_back(testing::linear_segment(3, 0, -1000.0, 500.0, 4, {1.0e8, 2.0e7, -3.0e6}, {1, 2, 3}, 10.0));
  spec.segments.push_back(testing::linear_segment(399, 3, -1000.0, 250.0, 8, {4000.0, -5000.0, 600.0}, {0.1, 0.2, 0.3}));
  spec.segments.push_back(testing::linear_segment(301, 3, -1000.0, 250.0, 8, {-3.0e5, 1.0e5, 2.0e4}, {-1, 0.5, 0.25}));
  spec.segments[0].identifier = "EMB";
  return spec;
}

std::string error_text(const KernelImage& image) {
  auto kernel = SpkKernel::from_bytes(image.bytes);
  if (!kernel) return message(kernel.error());
  const auto segments = kernel->segments();
  if (!segments) return message(segments.error());
  return "ok";
}

// --- File record ---

TEST(FileRecord, AcceptsAWrittenKernel) {
  const auto image = testing::build_kernel(three_segment_spec());
  TempFile file(image.bytes);
  auto kernel = SpkKernel::open(file.path());
  ASSERT_TRUE(kernel.has_value());
  EXPECT_TRUE(kernel->is_mapped());
  const DafFileRecord& record = kernel->file_record();
  EXPECT_EQ(record.internal_file_name, "test kernel");
  EXPECT_EQ(record.nd, 2u);
  EXPECT_EQ(record.ni, 6u);
  EXPECT_EQ(record.fward, 2u);
  EXPECT_EQ(record.bward, 2u);
  EXPECT_FALSE(record.big_endian);
}

TEST(FileRecord, RejectsTheOlderIdentificationWord) {
  auto image = testing::build_kernel(three_segment_spec());
  image.put_bytes(0, "NAIF/DAF");
  EXPECT_EQ(error_text(image), "expected DAF/SPK file identifier, found \"NAIF/DAF\"");
  image.put_bytes(0, "DAF/PCK ");
  EXPECT_EQ(error_text(image), "expected DAF/SPK file identifier, found \"DAF/PCK \"");
  image.put_bytes(0, std::string_view("\xff\x00\"AF/SP", 8));
  EXPECT_EQ(error_text(image), "expected DAF/SPK file identifier, found \"\xEF\xBF\xBD\\0\\\"AF/SP\"");
}

TEST(FileRecord, BinaryFormat) {
  auto image = testing::build_kernel(three_segment_spec());
  image.put_bytes(88, "VAX-GFLT");
  EXPECT_EQ(error_text(image), "unsupported DAF binary format \"VAX-GFLT\"");
  image.put_bytes(88, std::string_view("LTL-IEE\t", 8));
  EXPECT_EQ(error_text(image), "unsupported DAF binary format \"LTL-IEE\\t\"");
  image.put_bytes(88, "LTL-\xC3\x28  ");
  EXPECT_EQ(error_text(image), "invalid UTF-8 in binary format");
  image.put_bytes(88, std::string_view("LTL-IEEE", 8));
  EXPECT_EQ(error_text(image), "ok");
}

TEST(FileRecord, TrailingNulsAreTrimmed) {
  auto image = testing::build_kernel(three_segment_spec());
  image.put_bytes(16, std::string_view("name\0\0  \0", 9));
  image.put_bytes(16 + 9, std::string(51, '\0'));
  TempFile file(image.bytes);
  auto kernel = SpkKernel::open(file.path());
  ASSERT_TRUE(kernel.has_value());
  EXPECT_EQ(kernel->file_record().internal_file_name, "name");

  image.put_bytes(16, "\xC0\xAF");
  EXPECT_EQ(error_text(image), "invalid UTF-8 in internal file name");
}

TEST(FileRecord, FormatIsTrimmedOfNuls) {
  auto spec = three_segment_spec(true);
  auto image = testing::build_kernel(spec);
  image.put_bytes(88, std::string_view("BIG-IEEE", 8));
  EXPECT_EQ(error_text(image), "ok");
  // A shorter text padded with NULs reads as that text.
  image.put_bytes(88, std::string_view("BIG\0\0\0\0\0", 8));
  EXPECT_EQ(error_text(image), "unsupported DAF binary format \"BIG\"");
}

TEST(FileRecord, CountsAndPointers) {
  const auto base = testing::build_kernel(three_segment_spec());
  const auto with = [&](std::size_t offset, std::uint32_t value) {
    KernelImage image = base;
    image.put_u32(offset, value);
    return error_text(image);
  };
  EXPECT_EQ(with(8, 0), "invalid DAF file record: summary component counts must be non-zero");
  EXPECT_EQ(with(12, 0), "invalid DAF file record: summary component counts must be non-zero");
  EXPECT_EQ(with(8, 123), "invalid DAF file record: packed summary cannot fit in a DAF summary record");
  EXPECT_EQ(with(8, 122), "unsupported SPK summary layout ND=122, NI=6");
  // A count whose 32-bit sum wraps passes the record check and fails at the layout check.
  EXPECT_EQ(with(8, 0xFFFFFFFDu), "unsupported SPK summary layout ND=4294967293, NI=6");
  EXPECT_EQ(with(76, 1), "invalid DAF file record: summary record pointers are inconsistent");
  EXPECT_EQ(with(80, 1), "invalid DAF file record: summary record pointers are inconsistent");
  EXPECT_EQ(with(84, 128), "invalid DAF file record: first free address points inside the file record");
  EXPECT_EQ(with(84, 129), "ok");
}

TEST(FileRecord, OtherLayoutsFailOnlyWhenSegmentsAreRead) {
  auto image = testing::build_kernel(three_segment_spec());
  image.put_u32(8, 1);
  image.put_u32(12, 5);
  TempFile file(image.bytes);
  auto kernel = SpkKernel::open(file.path());
  ASSERT_TRUE(kernel.has_value());
  const auto segments = kernel->segments();
  ASSERT_FALSE(segments.has_value());
  EXPECT_EQ(message(segments.error()), "unsupported SPK summary layout ND=1, NI=5");
}

// --- Summary chain ---

TEST(SummaryChain, ReadsSegmentsInFileOrderAcrossRecords) {
  auto spec = three_segment_spec();
  for (int i = 0; i < 4; ++i) spec.segments.push_back(spec.segments[1]);
  spec.segments.back().target = 42;
  spec.summaries_per_record = 2;
  const auto image = testing::build_kernel(spec);
  ASSERT_EQ(image.summary_records.size(), 4u);
  TempFile file(image.bytes);
  auto kernel = SpkKernel::open(file.path());
  const auto segments = kernel->segments();
  ASSERT_TRUE(segments.has_value()) << message(segments.error());
  ASSERT_EQ(segments->size(), 7u);
  EXPECT_EQ((*segments)[0].identifier, "EMB");
  EXPECT_EQ((*segments)[0].target, 3);
  EXPECT_EQ((*segments)[1].target, 399);
  EXPECT_EQ((*segments)[2].target, 301);
  EXPECT_EQ((*segments)[6].target, 42);
  EXPECT_EQ((*segments)[0].start_address, image.start_addresses[0]);
  EXPECT_EQ((*segments)[6].end_address + 1, static_cast<std::int32_t>(kernel->file_record().free));
  EXPECT_EQ((*segments)[0].frame, 1);
  EXPECT_EQ((*segments)[0].data_type, 2);
  EXPECT_EQ((*segments)[0].start_seconds, -1000.0);
  EXPECT_EQ((*segments)[0].end_seconds, 1000.0);
  // Cached: a second call gives the same list.
  EXPECT_EQ(kernel->segments().value(), *segments);
}

TEST(SummaryChain, EmptyKernelHasNoSegments) {
  KernelSpec spec;
  const auto image = testing::build_kernel(spec);
  TempFile file(image.bytes);
  auto kernel = SpkKernel::open(file.path());
  ASSERT_TRUE(kernel.has_value());
  EXPECT_TRUE(kernel->segments().value().empty());
}

TEST(SummaryChain, BlankNameGivesEmptyIdentifier) {
  auto image = testing::build_kernel(three_segment_spec());
  image.put_bytes(KernelImage::name_offset(2, 1), std::string(40, ' '));
  image.put_bytes(KernelImage::name_offset(2, 2), std::string("  lead\0 \0", 9) + std::string(31, ' '));
  TempFile file(image.bytes);
  const auto segments = SpkKernel::open(file.path())->segments().value();
  EXPECT_EQ(segments[1].identifier, "");
  EXPECT_EQ(segments[2].identifier, "  lead");
}

TEST(SummaryChain, BrokenChains) {
  auto spec = three_segment_spec();
  spec.summaries_per_record = 1;
  const auto base = testing::build_kernel(spec);  // records 2 -> 4 -> 6
  const auto with_control = [&](std::uint32_t record, int word, double value) {
    KernelImage image = base;
    image.put_f64(KernelImage::control_offset(record, word), value);
    return error_text(image);
  };
  EXPECT_EQ(with_control(6, 0, 2), "invalid DAF summary chain: summary record chain contains a cycle");
  EXPECT_EQ(with_control(4, 0, 4), "invalid DAF summary chain: summary record chain contains a cycle");
  EXPECT_EQ(with_control(4, 0, 0), "invalid DAF summary chain: summary chain ended before the final summary record");
  EXPECT_EQ(with_control(4, 0, 2.5),
            "invalid DAF summary chain: summary control word is not a non-negative integer");
  EXPECT_EQ(with_control(2, 1, -1),
            "invalid DAF summary chain: summary control word is not a non-negative integer");
  EXPECT_EQ(with_control(2, 2, kNaN),
            "invalid DAF summary chain: summary control word is not a non-negative integer");
  EXPECT_EQ(with_control(2, 2, 4294967296.0),
            "invalid DAF summary chain: summary control word is not a non-negative integer");
  EXPECT_EQ(with_control(2, 1, -0.0), "ok");
  EXPECT_EQ(with_control(4, 1, 6), "invalid DAF summary chain: summary record has an incorrect backward pointer");
  EXPECT_EQ(with_control(2, 1, 1), "invalid DAF summary chain: summary record has an incorrect backward pointer");
  EXPECT_EQ(with_control(2, 2, 26), "invalid DAF summary chain: summary count exceeds record capacity");
  // A NEXT beyond the file, and one far beyond any addressable record.
  EXPECT_EQ(with_control(6, 0, 1000), "failed to read SPK kernel: failed to fill whole buffer");
  EXPECT_EQ(with_control(6, 0, 4294967295.0), "failed to read SPK kernel: failed to fill whole buffer");
}

TEST(SummaryChain, TruncatedFiles) {
  const auto image = testing::build_kernel(three_segment_spec());
  for (std::size_t size : {1024u, 1500u, 2048u, 2100u}) {
    KernelImage cut = image;
    cut.bytes.resize(size);
    EXPECT_EQ(error_text(cut), "failed to read SPK kernel: failed to fill whole buffer") << size;
  }
}

TEST(SummaryChain, BadSummaries) {
  const auto base = testing::build_kernel(three_segment_spec());
  const std::size_t at = KernelImage::summary_offset(2, 1);
  const auto with_f64 = [&](std::size_t offset, double value) {
    KernelImage image = base;
    image.put_f64(offset, value);
    return error_text(image);
  };
  const auto with_u32 = [&](std::size_t offset, std::uint32_t value) {
    KernelImage image = base;
    image.put_u32(offset, value);
    return error_text(image);
  };
  EXPECT_EQ(with_f64(at, kNaN), "invalid SPK segment: time bounds must be finite");
  EXPECT_EQ(with_f64(at + 8, std::numeric_limits<double>::infinity()),
            "invalid SPK segment: time bounds must be finite");
  EXPECT_EQ(with_f64(at, 5000.0), "invalid SPK segment: start time is after end time");
  EXPECT_EQ(with_f64(at + 8, -1000.0), "ok");  // equal bounds are accepted
  EXPECT_EQ(with_u32(at + 32, 0), "invalid SPK segment: DAF address bounds are invalid");
  EXPECT_EQ(with_u32(at + 32, 0x80000000u), "invalid SPK segment: DAF address bounds are invalid");
  EXPECT_EQ(with_u32(at + 36, 10), "invalid SPK segment: DAF address bounds are invalid");
  KernelImage bad_name = base;
  bad_name.put_bytes(KernelImage::name_offset(2, 2), "\xFF");
  EXPECT_EQ(error_text(bad_name), "invalid UTF-8 in segment identifier");
}

TEST(SummaryChain, FailedWalkIsNotCached) {
  auto image = testing::build_kernel(three_segment_spec());
  TempFile file(image.bytes);
  auto kernel = SpkKernel::open(file.path());
  ASSERT_TRUE(kernel.has_value());
  // The file changes under the mapping: the first walk fails, the next one
  // (after repair) succeeds because nothing was cached.
  {
    KernelImage broken = image;
    broken.put_f64(KernelImage::summary_offset(2, 0), kNaN);
    std::FILE* out = std::fopen(file.path().c_str(), "r+b");
    ASSERT_NE(out, nullptr);
    std::fwrite(broken.bytes.data(), 1, broken.bytes.size(), out);
    std::fclose(out);
  }
  EXPECT_FALSE(kernel->segments().has_value());
  {
    std::FILE* out = std::fopen(file.path().c_str(), "r+b");
    std::fwrite(image.bytes.data(), 1, image.bytes.size(), out);
    std::fclose(out);
  }
  EXPECT_EQ(kernel->segments().value().size(), 3u);
}

// --- Word reads and byte order ---

TEST(ReadWords, AddressesAndBounds) {
  const auto image = testing::build_kernel(three_segment_spec());
  TempFile file(image.bytes);
  auto kernel = SpkKernel::open(file.path());
  const auto first = kernel->read_words(image.start_addresses[0], 2);
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ((*first)[0], -750.0);  // MID of record 0
  EXPECT_EQ((*first)[1], 250.0);   // RADIUS

  const auto zero = kernel->read_words(0, 4);
  ASSERT_FALSE(zero.has_value());
  EXPECT_EQ(message(zero.error()), "invalid SPK Type 2 segment: DAF word addresses are one-based");
  EXPECT_EQ(message(kernel->read_words(-5, 1).error()),
            "invalid SPK Type 2 segment: DAF word addresses are one-based");

  const auto words_in_file = static_cast<std::int32_t>(image.bytes.size() / 8);
  EXPECT_TRUE(kernel->read_words(words_in_file, 1).has_value());
  EXPECT_EQ(message(kernel->read_words(words_in_file, 2).error()),
            "failed to read SPK kernel: failed to fill whole buffer");
  EXPECT_EQ(message(kernel->read_words(std::numeric_limits<std::int32_t>::max(), 1).error()),
            "failed to read SPK kernel: failed to fill whole buffer");
  // An absurd count fails without trying to hold it.
  EXPECT_EQ(message(kernel->read_words(1, std::numeric_limits<std::uint32_t>::max()).error()),
            "failed to read SPK kernel: failed to fill whole buffer");
  EXPECT_TRUE(kernel->read_words(1, 0).value().empty());
}

TEST(ByteOrder, BigEndianTwinReadsTheSame) {
  const auto little = testing::build_kernel(three_segment_spec(false));
  const auto big = testing::build_kernel(three_segment_spec(true));
  ASSERT_NE(little.bytes, big.bytes);
  TempFile little_file(little.bytes);
  TempFile big_file(big.bytes);
  auto little_kernel = SpkKernel::open(little_file.path());
  auto big_kernel = SpkKernel::open(big_file.path());
  EXPECT_TRUE(big_kernel->file_record().big_endian);
  const auto segments = big_kernel->segments().value();
  EXPECT_EQ(little_kernel->segments().value(), segments);
  for (const SpkSegment& segment : segments) {
    const std::array<double, 3> epochs = {segment.start_seconds, 123.25, segment.end_seconds};
    const auto loc = SegmentLoc::from_segment(segment);
    EXPECT_EQ(little_kernel->evaluate_type2_at_epochs(loc, epochs).value(),
              big_kernel->evaluate_type2_at_epochs(loc, epochs).value());
  }
}

TEST(ByteOrder, PlainFileReadsTheSameAsTheMapping) {
  const auto image = testing::build_kernel(three_segment_spec(true));
  TempFile file(image.bytes);
  auto mapped = SpkKernel::open(file.path());
  auto plain = SpkKernel::from_reader(KernelSource::open_unmapped(file.path()).value());
  ASSERT_TRUE(plain.has_value());
  EXPECT_FALSE(plain->is_mapped());
  const auto segments = plain->segments().value();
  EXPECT_EQ(mapped->segments().value(), segments);
  const std::array<double, 2> epochs = {-1000.0, 999.5};
  const auto loc = SegmentLoc::from_segment(segments[1]);
  EXPECT_EQ(mapped->evaluate_type2_at_epochs(loc, epochs).value(),
            plain->evaluate_type2_at_epochs(loc, epochs).value());
}

TEST(ReadF64, ByteOrders) {
  const std::array<std::byte, 8> little = {std::byte{0}, std::byte{0}, std::byte{0}, std::byte{0},
                                           std::byte{0}, std::byte{0}, std::byte{0xF0}, std::byte{0x3F}};
  std::array<std::byte, 8> big{};
  std::reverse_copy(little.begin(), little.end(), big.begin());
  EXPECT_EQ(read_f64(little, false), 1.0);
  EXPECT_EQ(read_f64(big, true), 1.0);
}

}  // namespace
}  // namespace ephemeris
