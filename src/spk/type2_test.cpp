// Type 2 segments: one record's Chebyshev sums, the directory and record
// checks, the record choice and the per-segment caches.
#include "spk/type2.h"

#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "spk/spk_kernel.h"
#include "spk/testing/spk_writer.h"

namespace ephemeris {
namespace {

using testing::outcome;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
const std::string kType2 = "invalid SPK Type 2 segment: ";

TEST(Type2Record, OneCoefficientIsAConstantPosition) {
  // Longer series are checked against CSPICE on DE421 and on the linear segments below.
  EXPECT_EQ(evaluate_loaded_type2_record(std::vector<double>{10, 5, 1, 2, 3}, 5, 12.0).value(),
            (StateVector{{1.0, 2.0, 3.0}, {0.0, 0.0, 0.0}}));
}

TEST(Type2Record, EveryRecordCheck) {
  const std::string midpoint = kType2 + "record midpoint and radius must be finite and valid";
  const std::string coefficients = kType2 + "Chebyshev coefficients and argument must be finite";
  const std::string outside = kType2 + "selected record does not cover the requested epoch";
  const std::string short_record = kType2 + "record holds fewer words than its record size";
  const std::vector<double> line = {0.0, 10.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0};
  const std::tuple<std::vector<double>, std::uint32_t, double, std::string> cases[] = {
      {line, 8, 10.0, "ok"},  {line, 8, -10.0, "ok"},  // both ends of the argument range
      {line, 8, 10.000001, outside}, {line, 8, kNaN, outside},
      {{kNaN, 1, 0, 0, 0}, 5, 0, midpoint},     {{0, 0, 0, 0, 0}, 5, 0, midpoint},
      {{0, -1, 0, 0, 0}, 5, 0, midpoint},       {{0, kInf, 0, 0, 0}, 5, 0, midpoint},
      {{0, 1, 0, 0, kInf}, 5, 0, coefficients}, {{0, 1, 0, 0, 0, 0, 0, kNaN}, 8, 0, coefficients},
      {{0, 1, 0, 0}, 4, 0, coefficients},       {{0, 1, 0, 0}, 0, 0, coefficients},  // no coefficient
      {{0, 1, 0, 0}, 8, 0, short_record},       {{0}, 0, 0, short_record},
  };
  // The position alone is the full evaluation's, bit for bit, and fails where it fails.
  std::vector<double> series = {5.0, 2.0};  // 13 coefficients per axis, as DE421's Earth and Moon
  for (int k = 0; k < 39; ++k) series.push_back(std::sin(k * 1.7) * 1.0e5 / (k + 1));
  const std::tuple<std::vector<double>, std::uint32_t, double> quick_cases[] = {
      {series, 41, 3.0}, {series, 41, 6.3}, {series, 41, 7.0}, {series, 8, 4.1}};
  for (const auto& [record, size, epoch, text] : cases) {
    EXPECT_EQ(outcome(evaluate_loaded_type2_record(record, size, epoch)), text) << size << " " << epoch;
    if (size < 2 || record.size() < size) continue;
    std::array<double, 3> position{};
    const Type2RecordCheck check = check_type2_record(record.data(), size);
    EXPECT_EQ(evaluate_checked_type2_position_into(record.data(), size, check, epoch, position), text == "ok");
  }
  for (const auto& [record, size, epoch] : quick_cases) {
    std::array<double, 3> position{};
    ASSERT_TRUE(evaluate_checked_type2_position_into(record.data(), size, check_type2_record(record.data(), size),
                                                     epoch, position));
    EXPECT_EQ(position, evaluate_loaded_type2_record(record, size, epoch).value().position_km) << epoch;
  }
}

TEST(Type2Record, AddressOverflowsAreRefused) {
  const SegmentLoc segment{0, 1, 0, 2, 1, 100};
  const SegmentLoc high{0, 1, 0, 2, std::numeric_limits<std::int32_t>::max() - 10, 1};
  EXPECT_EQ(outcome(type2_record_address(segment, {0, 1, 4294967291u, 1}, 2)), kType2 + "record address overflowed");
  EXPECT_EQ(outcome(type2_record_address(segment, {0, 1, 2147483648u, 1}, 1)),
            kType2 + "record address exceeds the DAF address range");
  EXPECT_EQ(outcome(type2_record_address(high, {0, 1, 8, 4}, 2)), kType2 + "record address overflowed");
  EXPECT_EQ(type2_record_address(segment, {0, 1, 8, 4}, 3).value(), 25);
  const std::int32_t lowest = std::numeric_limits<std::int32_t>::min();
  EXPECT_EQ(outcome(type2_directory_address({0, 1, 0, 2, lowest, lowest + 2})),
            kType2 + "segment is too short to contain a directory");
}

// The outcome at `epoch` of a segment over [0, 100] (two records of 50 s)
// with one word of its directory (0 INIT, 1 INTLEN, 2 RSIZE, 3 N) or of its
// summary integers (7 data type, 9 end address) replaced.
std::string with_word(int word, double value, double epoch = 10.0) {
  auto image = testing::build_kernel({.segments = {testing::linear_segment(499, 4, 0, 50, 2, {1, 2, 3}, {1, 1, 1})}});
  if (word < 4) image.put_f64(testing::KernelImage::word_offset(image.start_addresses[0] + 16 + word), value);
  if (word >= 4) image.put_u32(testing::KernelImage::summary_offset(2, 0) + 4 * word, std::uint32_t(value));
  auto kernel = SpkKernel::from_bytes(image.bytes).value();
  const auto loc = SegmentLoc::from_segment(kernel.segments()->at(0));
  return outcome(kernel.evaluate_type2_at_epochs(loc, std::array{epoch}));
}

TEST(Type2Segment, EveryDirectoryAndCoverageCheckInOrder) {
  const std::string sets = kType2 + "record size does not describe three equal coefficient sets";
  const std::string epoch = kType2 + "directory epoch and interval length must be finite and valid";
  for (double bad : {0.0, 2.5, -8.0, kNaN, kInf, 4294967296.0}) {
    EXPECT_EQ(with_word(2, bad), kType2 + "record size") << bad;
    EXPECT_EQ(with_word(3, bad), kType2 + "record count") << bad;
  }
  EXPECT_EQ(with_word(0, kInf), epoch);
  EXPECT_EQ(with_word(1, 0), epoch);
  EXPECT_EQ(with_word(1, -50), epoch);
  EXPECT_EQ(with_word(1, kNaN), epoch);
  EXPECT_EQ(with_word(2, 6), sets);
  EXPECT_EQ(with_word(2, 2), sets);
  EXPECT_EQ(with_word(2, 4294967294.0), kType2 + "segment word count overflowed");
  EXPECT_EQ(with_word(3, 3), kType2 + "directory size does not match the segment address range");
  EXPECT_EQ(with_word(2, 3 * 1024 + 2), kType2 + "directory size does not match the segment address range");
  EXPECT_EQ(with_word(2, 3 * 1025 + 2), kType2 + "record size exceeds 1024 coefficients per component");
  EXPECT_EQ(with_word(0, 20), kType2 + "epoch precedes the first polynomial interval");
  EXPECT_EQ(with_word(0, -40), kType2 + "selected record does not cover the requested epoch");
  EXPECT_EQ(with_word(1, 25, 99), kType2 + "epoch is not covered by the polynomial intervals");
  EXPECT_EQ(with_word(9, 2000000003), "failed to read SPK kernel: failed to fill whole buffer");
  // The type, then the coverage, are checked before the directory is read.
  EXPECT_EQ(with_word(9, 2000000003, 100.5), "TDB epoch 100.5 is outside segment coverage [0, 100]");
  EXPECT_EQ(with_word(9, 2000000003, -0.25), "TDB epoch -0.25 is outside segment coverage [0, 100]");
  EXPECT_EQ(with_word(9, 2000000003, kNaN), "TDB epoch NaN is outside segment coverage [0, 100]");
  EXPECT_EQ(with_word(7, 3, kNaN), "unsupported SPK segment type 3");
}

TEST(Type2Segment, RecordsAreReadOnceInBlocksAndFailuresKeepTheDirectory) {
  auto segment = testing::linear_segment(499, 4, 0.0, 100.0, 4, {1000, 2000, 3000}, {1, 1, 1});
  segment.data[3 * 8] = kNaN;  // MID of record 3
  auto k = testing::kernel_of({segment});
  const auto loc = SegmentLoc::from_segment(k.segments()->at(0));
  const auto at = [&](auto... epochs) { return outcome(k.evaluate_type2_at_epochs(loc, std::array{epochs...})); };
  EXPECT_EQ(at(10.0, 210.0, 20.0, 220.0), "ok");
  EXPECT_EQ(std::pair(k.type2_record_reads(), k.type2_directory_reads()), std::pair(1ul, 1ul));  // one block
  EXPECT_EQ(at(205.0, 299.0), "ok");  // the cached record
  EXPECT_TRUE(k.evaluate_type2_at_epochs(loc, {}).value().empty());
  EXPECT_EQ(k.type2_record_reads(), 1u);
  EXPECT_EQ(at(10.0, 350.0, 20.0), kType2 + "record midpoint and radius must be finite and valid");
  EXPECT_EQ(at(250.0), "ok");
  EXPECT_EQ(std::pair(k.type2_record_reads(), k.type2_directory_reads()), std::pair(1ul, 1ul));
}

// Records are read in blocks cut to the file: a segment location stretched
// back by k records, so that its first ones would start before word 1. Those
// fail as a one-record read fails; the block of the others starts at the
// first one the file holds.
TEST(Type2Segment, BlocksStopAtTheStartOfTheFile) {
  const auto line = testing::linear_segment(499, 4, 0, 50, 4, {1, 2, 3}, {1, 1, 1});
  auto image = testing::build_kernel({.segments = {line}});
  const std::int32_t start = image.start_addresses[0];
  const std::int32_t k = start / 8 + 2;
  image.put_f64(testing::KernelImage::word_offset(start + 32), -50.0 * k);  // INIT
  image.put_f64(testing::KernelImage::word_offset(start + 35), 4.0 + k);    // N
  auto kernel = SpkKernel::from_bytes(image.bytes).value();
  auto plain = testing::kernel_of({line});
  const auto loc = SegmentLoc::from_segment(plain.segments()->at(0));
  SegmentLoc stretched = loc;
  stretched.start_address -= 8 * k;
  stretched.start_seconds = -50.0 * k;
  const double early = 10.0 - 50.0 * k;
  const std::string before_the_file = kType2 + "DAF word addresses are one-based";
  EXPECT_EQ(kernel.evaluate_type2_at_epochs(stretched, std::array{10.0, 160.0}).value(),
            plain.evaluate_type2_at_epochs(loc, std::array{10.0, 160.0}).value());
  EXPECT_EQ(outcome(kernel.evaluate_type2_at_epochs(stretched, std::array{10.0, early})), before_the_file);
  EXPECT_EQ(outcome(kernel.evaluate_type2_at_epochs(stretched, std::array{early, 10.0})), before_the_file);
}

}  // namespace
}  // namespace ephemeris
