#include "spk/type2.h"

#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "spk/spk_kernel.h"
#include "spk/testing/spk_writer.h"

namespace ephemeris {
namespace {

using testing::KernelSpec;
using testing::SegmentSpec;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::string record_error(std::vector<double> record, std::uint32_t record_size, double epoch) {
  const auto state = evaluate_loaded_type2_record(record, record_size, epoch);
  return state ? "ok" : message(state.error());
}

// --- One record ---

TEST(Type2Record, FiveWordsGiveAConstantPosition) {
  const std::vector<double> record = {10.0, 5.0, 1.0, 2.0, 3.0};
  const StateVector state = evaluate_loaded_type2_record(record, 5, 12.0).value();
  EXPECT_EQ(state, (StateVector{{1.0, 2.0, 3.0}, {0.0, 0.0, 0.0}}));
}

TEST(Type2Record, EightWordsGiveALine) {
  const std::vector<double> record = {0.0, 10.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0};
  const StateVector state = evaluate_loaded_type2_record(record, 8, 5.0).value();
  EXPECT_EQ(state, (StateVector{{2.0, 5.0, 8.0}, {0.2, 0.4, 0.6}}));
}

TEST(Type2Record, CubicMatchesTheClosedForm) {
  // s = 0.5: T2 = -0.5, T3 = -1, T2' = 2, T3' = 0, all exact.
  const std::vector<double> record = {100.0, 4.0, 1, 2, 3, 4, -1, -2, -3, -4, 0, 0, 0, 8};
  const StateVector state = evaluate_loaded_type2_record(record, 14, 102.0).value();
  EXPECT_EQ(state.position_km[0], 1 + 2 * 0.5 + 3 * -0.5 + 4 * -1.0);
  EXPECT_EQ(state.position_km[1], -state.position_km[0]);
  EXPECT_EQ(state.position_km[2], -8.0);
  EXPECT_EQ(state.velocity_km_per_s[0], (2 + 3 * 2.0) / 4.0);
  EXPECT_EQ(state.velocity_km_per_s[2], 0.0);
}

TEST(Type2Record, ArgumentBoundsAreInclusive) {
  const std::vector<double> record = {0.0, 10.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0};
  EXPECT_EQ(record_error(record, 8, 10.0), "ok");
  EXPECT_EQ(record_error(record, 8, -10.0), "ok");
  EXPECT_EQ(record_error(record, 8, 10.000001),
            "invalid SPK Type 2 segment: selected record does not cover the requested epoch");
  EXPECT_EQ(record_error(record, 8, kNaN),
            "invalid SPK Type 2 segment: selected record does not cover the requested epoch");
}

TEST(Type2Record, InvalidRecords) {
  const std::string midpoint = "invalid SPK Type 2 segment: record midpoint and radius must be finite and valid";
  const std::string coefficients = "invalid SPK Type 2 segment: Chebyshev coefficients and argument must be finite";
  EXPECT_EQ(record_error({kNaN, 1, 0, 0, 0}, 5, 0), midpoint);
  EXPECT_EQ(record_error({0, 0, 0, 0, 0}, 5, 0), midpoint);
  EXPECT_EQ(record_error({0, -1, 0, 0, 0}, 5, 0), midpoint);
  EXPECT_EQ(record_error({0, kInf, 0, 0, 0}, 5, 0), midpoint);
  EXPECT_EQ(record_error({0, 1, 0, 0, kInf}, 5, 0), coefficients);
  EXPECT_EQ(record_error({0, 1, 0, 0, 0, 0, 0, kNaN}, 8, 0), coefficients);
  EXPECT_EQ(record_error({0, 1, 0, 0}, 4, 0), coefficients);  // no coefficient at all
  EXPECT_EQ(record_error({0, 1, 0, 0}, 0, 0), coefficients);
  EXPECT_EQ(record_error({0, 1, 0, 0}, 8, 0),
            "invalid SPK Type 2 segment: record holds fewer words than its record size");
  EXPECT_EQ(record_error({0}, 0, 0), "invalid SPK Type 2 segment: record holds fewer words than its record size");
}

TEST(Type2RecordAddress, OverflowsAreRefused) {
  const SegmentLoc segment{0, 1, 0, 2, 1, 100};
  const Type2Directory huge{0, 1, 4294967291u, 1};
  EXPECT_EQ(message(type2_record_address(segment, huge, 2).error()),
            "invalid SPK Type 2 segment: record address overflowed");
  const Type2Directory half{0, 1, 2147483648u, 1};
  EXPECT_EQ(message(type2_record_address(segment, half, 1).error()),
            "invalid SPK Type 2 segment: record address exceeds the DAF address range");
  const SegmentLoc high{0, 1, 0, 2, std::numeric_limits<std::int32_t>::max() - 10, 1};
  const Type2Directory small{0, 1, 8, 4};
  EXPECT_EQ(message(type2_record_address(high, small, 2).error()),
            "invalid SPK Type 2 segment: record address overflowed");
  EXPECT_EQ(type2_record_address(segment, small, 3).value(), 25);
}

// --- Segments in a kernel ---

struct OneSegmentKernel {
  explicit OneSegmentKernel(SegmentSpec segment, bool big_endian = false) {
    KernelSpec spec;
    spec.big_endian = big_endian;
    spec.segments.push_back(std::move(segment));
    image = testing::build_kernel(spec);
    kernel.emplace(SpkKernel::from_bytes(image.bytes).value());
    loc = SegmentLoc::from_segment(kernel->segments().value().at(0));
  }
  std::string error_at(double epoch) {
    const std::array<double, 1> epochs = {epoch};
    const auto states = kernel->evaluate_type2_at_epochs(loc, epochs);
    return states ? "ok" : message(states.error());
  }
  testing::KernelImage image;
  std::optional<SpkKernel> kernel;
  SegmentLoc loc;
};

SegmentSpec segment_with(double init, double interval, double record_size, double record_count,
                         std::size_t records_written, std::size_t words_per_record) {
  std::vector<std::vector<double>> records;
  for (std::size_t r = 0; r < records_written; ++r) {
    std::vector<double> record(words_per_record, 0.0);
    record[0] = init + (r + 0.5) * interval;
    record[1] = interval / 2;
    records.push_back(record);
  }
  SegmentSpec segment;
  segment.target = 499;
  segment.center = 4;
  segment.start_seconds = 0;
  segment.end_seconds = 100;
  segment.data = testing::type2_data(init, interval, record_size, record_count, records);
  return segment;
}

TEST(Type2Directory, RecordSizes) {
  EXPECT_EQ(OneSegmentKernel(segment_with(0, 50, 5, 2, 2, 5)).error_at(10), "ok");
  EXPECT_EQ(OneSegmentKernel(segment_with(0, 50, 8, 2, 2, 8)).error_at(10), "ok");
  EXPECT_EQ(OneSegmentKernel(segment_with(0, 50, 6, 2, 2, 6)).error_at(10),
            "invalid SPK Type 2 segment: record size does not describe three equal coefficient sets");
  EXPECT_EQ(OneSegmentKernel(segment_with(0, 50, 2, 2, 2, 2)).error_at(10),
            "invalid SPK Type 2 segment: record size does not describe three equal coefficient sets");
  for (double bad : {0.0, 2.5, -8.0, kNaN, kInf, 4294967296.0}) {
    EXPECT_EQ(OneSegmentKernel(segment_with(0, 50, bad, 2, 2, 8)).error_at(10),
              "invalid SPK Type 2 segment: record size")
        << bad;
  }
}

TEST(Type2Directory, CountsEpochsAndSizes) {
  for (double bad : {0.0, 1.5, -1.0, kNaN}) {
    EXPECT_EQ(OneSegmentKernel(segment_with(0, 50, 8, bad, 2, 8)).error_at(10),
              "invalid SPK Type 2 segment: record count")
        << bad;
  }
  const std::string epoch_text =
      "invalid SPK Type 2 segment: directory epoch and interval length must be finite and valid";
  EXPECT_EQ(OneSegmentKernel(segment_with(0, 0, 8, 2, 2, 8)).error_at(10), epoch_text);
  EXPECT_EQ(OneSegmentKernel(segment_with(0, -50, 8, 2, 2, 8)).error_at(10), epoch_text);
  EXPECT_EQ(OneSegmentKernel(segment_with(kInf, 50, 8, 2, 2, 8)).error_at(10), epoch_text);
  EXPECT_EQ(OneSegmentKernel(segment_with(0, kNaN, 8, 2, 2, 8)).error_at(10), epoch_text);
  EXPECT_EQ(OneSegmentKernel(segment_with(0, 50, 8, 3, 2, 8)).error_at(10),
            "invalid SPK Type 2 segment: directory size does not match the segment address range");
  EXPECT_EQ(OneSegmentKernel(segment_with(0, 50, 2000000000, 3, 0, 0)).error_at(10),
            "invalid SPK Type 2 segment: segment word count overflowed");
  // Absurd addresses in a small file fail on the read.
  auto lying = segment_with(0, 50, 2000000000, 1, 0, 0);
  lying.end_address_override = 2000000003;
  EXPECT_EQ(OneSegmentKernel(lying).error_at(10), "failed to read SPK kernel: failed to fill whole buffer");
}

TEST(Type2Directory, DirectoryPastTheDataOrTheAddressRange) {
  auto past_end = segment_with(0, 50, 8, 2, 2, 8);
  past_end.end_address_override = 1000000;
  EXPECT_EQ(OneSegmentKernel(past_end).error_at(10), "failed to read SPK kernel: failed to fill whole buffer");

  OneSegmentKernel kernel(segment_with(0, 50, 8, 2, 2, 8));
  SegmentLoc wild = kernel.loc;
  wild.start_address = std::numeric_limits<std::int32_t>::min();
  wild.end_address = std::numeric_limits<std::int32_t>::min() + 2;
  const std::array<double, 1> epochs = {10.0};
  EXPECT_EQ(message(kernel.kernel->evaluate_type2_at_epochs(wild, epochs).error()),
            "invalid SPK Type 2 segment: segment is too short to contain a directory");
}

TEST(Type2Segment, TypeAndCoverageAreCheckedFirst) {
  auto type3 = segment_with(0, 50, 8, 2, 2, 8);
  type3.data_type = 3;
  EXPECT_EQ(OneSegmentKernel(type3).error_at(10), "unsupported SPK segment type 3");
  OneSegmentKernel kernel(segment_with(0, 50, 8, 2, 2, 8));
  EXPECT_EQ(kernel.error_at(100.5), "TDB epoch 100.5 is outside segment coverage [0, 100]");
  EXPECT_EQ(kernel.error_at(-0.25), "TDB epoch -0.25 is outside segment coverage [0, 100]");
  EXPECT_EQ(kernel.error_at(kNaN), "TDB epoch NaN is outside segment coverage [0, 100]");
  EXPECT_EQ(kernel.kernel->type2_directory_reads(), 0u);
}

TEST(Type2Segment, EpochsBeforeOrAfterThePolynomialIntervals) {
  auto early = segment_with(20, 40, 8, 2, 2, 8);  // intervals [20, 100], coverage [0, 100]
  OneSegmentKernel before(early);
  EXPECT_EQ(before.error_at(10), "invalid SPK Type 2 segment: epoch precedes the first polynomial interval");
  EXPECT_EQ(before.error_at(20), "ok");

  auto short_intervals = segment_with(0, 25, 8, 2, 2, 8);  // intervals [0, 50], coverage [0, 100]
  OneSegmentKernel after(short_intervals);
  EXPECT_EQ(after.error_at(60), "invalid SPK Type 2 segment: selected record does not cover the requested epoch");
  EXPECT_EQ(after.error_at(75), "invalid SPK Type 2 segment: epoch is not covered by the polynomial intervals");
}

TEST(Type2Segment, BadRecordInTheFile) {
  auto segment = segment_with(0, 50, 8, 2, 2, 8);
  segment.data[8 + 1] = 0.0;  // radius of record 1
  OneSegmentKernel kernel(segment);
  EXPECT_EQ(kernel.error_at(10), "ok");
  EXPECT_EQ(kernel.error_at(60),
            "invalid SPK Type 2 segment: record midpoint and radius must be finite and valid");
}

// Linear segment: record r holds base + r * step at its midpoint.
SegmentSpec stepped_segment() {
  return testing::linear_segment(499, 4, 0.0, 100.0, 4, {1000.0, 2000.0, 3000.0}, {1.0, -1.0, 0.5}, 10.0);
}

TEST(Type2Segment, IntervalEndsAndRecordChoice) {
  OneSegmentKernel kernel(stepped_segment());
  const std::array<double, 3> epochs = {0.0, 400.0, 200.0};
  const auto states = kernel.kernel->evaluate_type2_at_epochs(kernel.loc, epochs).value();
  // Start: record 0 at s = -1; end (INIT + N * INTLEN): record 3 at s = 1.
  EXPECT_EQ(states[0].position_km[0], 1000.0 - 50.0);
  EXPECT_EQ(states[1].position_km[0], 1030.0 + 50.0);
  EXPECT_EQ(states[1].velocity_km_per_s[1], -1.0);
  // 200 is where record 2 starts (s = -1 of record 2).
  EXPECT_EQ(states[2].position_km[0], 1020.0 - 50.0);
}

TEST(Type2Segment, DescendingEpochsKeepTheirOrder) {
  OneSegmentKernel kernel(stepped_segment());
  const std::array<double, 5> epochs = {390.0, 310.0, 150.0, 120.0, 10.0};
  const auto batch = kernel.kernel->evaluate_type2_at_epochs(kernel.loc, epochs).value();
  ASSERT_EQ(batch.size(), epochs.size());
  for (std::size_t i = 0; i < epochs.size(); ++i) {
    const std::array<double, 1> one = {epochs[i]};
    EXPECT_EQ(batch[i], kernel.kernel->evaluate_type2_at_epochs(kernel.loc, one).value().at(0)) << i;
  }
  EXPECT_DOUBLE_EQ(batch[4].position_km[2], 3000.0 + (10.0 - 50.0) * 0.5);
  EXPECT_DOUBLE_EQ(batch[0].position_km[2], 3030.0 + (390.0 - 350.0) * 0.5);
}

TEST(Type2Segment, EachRecordIsReadOnce) {
  OneSegmentKernel kernel(stepped_segment());
  SpkKernel& k = *kernel.kernel;
  const std::array<double, 4> interleaved = {10.0, 310.0, 20.0, 320.0};
  ASSERT_TRUE(k.evaluate_type2_at_epochs(kernel.loc, interleaved).has_value());
  EXPECT_EQ(k.type2_record_reads(), 2u);
  EXPECT_EQ(k.type2_directory_reads(), 1u);
  // Record 3 is the cached one: no read.
  const std::array<double, 2> same = {305.0, 399.0};
  ASSERT_TRUE(k.evaluate_type2_at_epochs(kernel.loc, same).has_value());
  EXPECT_EQ(k.type2_record_reads(), 2u);
  const std::array<double, 1> other = {150.0};
  ASSERT_TRUE(k.evaluate_type2_at_epochs(kernel.loc, other).has_value());
  EXPECT_EQ(k.type2_record_reads(), 3u);
  EXPECT_EQ(k.type2_directory_reads(), 1u);
  // An empty batch reads nothing more.
  EXPECT_TRUE(k.evaluate_type2_at_epochs(kernel.loc, {}).value().empty());
  EXPECT_EQ(k.type2_record_reads(), 3u);
}

TEST(Type2Segment, FailureKeepsTheCaches) {
  auto segment = stepped_segment();
  segment.data[3 * 8] = kNaN;  // MID of record 3
  OneSegmentKernel kernel(segment);
  SpkKernel& k = *kernel.kernel;
  EXPECT_EQ(kernel.error_at(10.0), "ok");
  EXPECT_EQ(kernel.error_at(350.0),
            "invalid SPK Type 2 segment: record midpoint and radius must be finite and valid");
  EXPECT_EQ(k.type2_directory_reads(), 1u);
  // The first failing epoch stops the batch: nothing is returned.
  const std::array<double, 3> mixed = {10.0, 350.0, 20.0};
  EXPECT_FALSE(k.evaluate_type2_at_epochs(kernel.loc, mixed).has_value());
}

TEST(Type2Segment, TruncatedDataFailsOnTheRead) {
  KernelSpec spec;
  spec.segments.push_back(stepped_segment());
  auto image = testing::build_kernel(spec);
  // The summary stays readable; the segment data and its directory are cut off.
  image.bytes.resize(testing::KernelImage::word_offset(image.start_addresses[0]) + 8 * 20);
  auto kernel = SpkKernel::from_bytes(image.bytes).value();
  const auto loc = SegmentLoc::from_segment(kernel.segments().value().at(0));
  const std::array<double, 1> epochs = {10.0};
  EXPECT_EQ(message(kernel.evaluate_type2_at_epochs(loc, epochs).error()),
            "failed to read SPK kernel: failed to fill whole buffer");
}

TEST(Type2Segment, BigEndianSegmentMatches) {
  OneSegmentKernel little(stepped_segment(), false);
  OneSegmentKernel big(stepped_segment(), true);
  const std::array<double, 3> epochs = {0.0, 123.456, 400.0};
  EXPECT_EQ(little.kernel->evaluate_type2_at_epochs(little.loc, epochs).value(),
            big.kernel->evaluate_type2_at_epochs(big.loc, epochs).value());
}

}  // namespace
}  // namespace ephemeris
