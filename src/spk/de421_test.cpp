// DE421 read through the kernel reader and checked against CSPICE.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "spk/center_chain.h"
#include "spk/coverage.h"
#include "spk/spk_kernel.h"
#include "time/testing/real_data.h"

namespace ephemeris {
namespace {

#include "spk/testdata/de421_reference.inc"

constexpr std::size_t kEpochCount = std::size(kDe421Epochs);

class De421 : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testing::have_de421());
    auto kernel = SpkKernel::open(EPHEMERIS_DE421_PATH);
    ASSERT_TRUE(kernel.has_value()) << message(kernel.error());
    kernels_.push_back(std::move(*kernel));
  }
  std::vector<SpkKernel> kernels_;
};

TEST_F(De421, SegmentListIsAsPublished) {
  const auto segments = kernels_[0].segments();
  ASSERT_TRUE(segments.has_value()) << message(segments.error());
  ASSERT_EQ(segments->size(), static_cast<std::size_t>(kDe421SegmentCount));
  for (std::size_t i = 0; i < segments->size(); ++i) {
    const SpkSegment& s = (*segments)[i];
    const auto& ints = kDe421SegmentIntegers[i];
    EXPECT_EQ(s.target, ints[0]) << i;
    EXPECT_EQ(s.center, ints[1]) << i;
    EXPECT_EQ(s.frame, ints[2]) << i;
    EXPECT_EQ(s.data_type, ints[3]) << i;
    EXPECT_EQ(s.start_address, ints[4]) << i;
    EXPECT_EQ(s.end_address, ints[5]) << i;
    EXPECT_EQ(s.start_seconds, kDe421SegmentBounds[i][0]) << i;
    EXPECT_EQ(s.end_seconds, kDe421SegmentBounds[i][1]) << i;
    EXPECT_EQ(s.identifier, kDe421SegmentNames[i]) << i;
  }
  // JPL's layout: barycentres 1-9 and the Sun relative to 0, the Moon and the
  // Earth relative to 3, Mercury, Venus and Mars relative to their barycentres.
  const std::vector<std::pair<int, int>> published = {{1, 0},   {2, 0},   {3, 0},   {4, 0},   {5, 0},
                                                      {6, 0},   {7, 0},   {8, 0},   {9, 0},   {10, 0},
                                                      {301, 3}, {399, 3}, {199, 1}, {299, 2}, {499, 4}};
  for (std::size_t i = 0; i < published.size(); ++i) {
    EXPECT_EQ(std::pair((*segments)[i].target, (*segments)[i].center), published[i]) << i;
  }
  EXPECT_EQ(kernels_[0].file_record().internal_file_name.substr(0, 7), "NIO2SPK");
}

TEST_F(De421, CommonCoverageIsTheWholeFile) {
  const auto coverage = common_contiguous_coverage(kernels_[0].segment_list().value());
  ASSERT_TRUE(coverage.has_value());
  EXPECT_EQ(coverage->first, -3169195200.0);
  EXPECT_EQ(coverage->second, 1696852800.0);
}

// CSPICE sums the Chebyshev series by Clenshaw's recurrence, this reader by
// the forward recurrence; both round differently at about 1e-16 of the
// coefficient sums, i.e. ~1e-8 km for planetary distances. The tolerances
// (1e-6 km, 1e-9 km/s) leave room for that and catch any wrong record,
// argument or sum.
TEST_F(De421, BarycentricStatesMatchCspice) {
  double worst_position = 0.0;
  double worst_velocity = 0.0;
  for (std::size_t b = 0; b < std::size(kDe421Bodies); ++b) {
    for (std::size_t j = 0; j < kEpochCount; ++j) {
      const double* wanted = kDe421BarycentricStates[b * kEpochCount + j];
      const auto state = barycentric_state_across_kernels(kernels_, kDe421Bodies[b], kDe421Epochs[j]);
      ASSERT_TRUE(state.has_value()) << message(state.error());
      for (int k = 0; k < 3; ++k) {
        const double dp = std::fabs(state->position_km[k] - wanted[k]);
        const double dv = std::fabs(state->velocity_km_per_s[k] - wanted[3 + k]);
        worst_position = std::max(worst_position, dp);
        worst_velocity = std::max(worst_velocity, dv);
        EXPECT_LE(dp, 1e-6) << "body " << kDe421Bodies[b] << " epoch " << kDe421Epochs[j] << " wanted "
                            << wanted[k] << " got " << state->position_km[k];
        EXPECT_LE(dv, 1e-9) << "body " << kDe421Bodies[b] << " epoch " << kDe421Epochs[j] << " wanted "
                            << wanted[3 + k] << " got " << state->velocity_km_per_s[k];
      }
    }
  }
  std::printf("DE421 vs CSPICE spkgeo: largest difference %.3g km, %.3g km/s\n", worst_position, worst_velocity);
}

TEST_F(De421, BatchEqualsSingleEpochsBitForBit) {
  std::vector<double> epochs(kDe421Epochs, kDe421Epochs + kEpochCount);
  for (int i = 0; i < 3000; ++i) epochs.push_back(-3169195200.0 + i * 1622015.9917);  // spread, unsorted by record
  for (int i = 0; i < 500; ++i) epochs.push_back(1.0e8 - i * 3600.5);                  // dense, descending
  for (int body : {10, 399, 301, 499, 199, 299, 5}) {
    const auto batch = barycentric_states_across_kernels(kernels_, body, epochs);
    ASSERT_TRUE(batch.has_value()) << message(batch.error());
    for (std::size_t j = 0; j < epochs.size(); ++j) {
      const auto single = barycentric_state_across_kernels(kernels_, body, epochs[j]);
      ASSERT_EQ((*batch)[j], single.value()) << "body " << body << " epoch " << epochs[j];
    }
  }
}

TEST_F(De421, ABatchReadsEachRecordOnce) {
  // The Earth goes through 399 -> 3 -> 0; count the distinct records of both.
  const auto segments = kernels_[0].segments().value();
  std::vector<double> epochs;
  for (int i = 0; i < 20000; ++i) epochs.push_back(-1.0e9 + i * 7777.25);
  std::size_t distinct = 0;
  for (int target : {399, 3}) {
    const auto& segment = *std::find_if(segments.begin(), segments.end(), [&](auto& s) { return s.target == target; });
    const auto directory = kernels_[0].read_words(segment.end_address - 3, 4).value();
    std::set<long> records;
    for (double t : epochs) records.insert(static_cast<long>(std::floor((t - directory[0]) / directory[1])));
    distinct += records.size();
  }
  const auto before = kernels_[0].type2_record_reads();
  ASSERT_TRUE(barycentric_states_across_kernels(kernels_, 399, epochs).has_value());
  EXPECT_EQ(kernels_[0].type2_record_reads() - before, distinct);
}

TEST_F(De421, PlainFileReadsTheSameAsTheMapping) {
  auto plain = SpkKernel::from_reader(KernelSource::open_unmapped(EPHEMERIS_DE421_PATH).value());
  ASSERT_TRUE(plain.has_value());
  ASSERT_TRUE(kernels_[0].is_mapped());
  std::vector<SpkKernel> plain_kernels;
  plain_kernels.push_back(std::move(*plain));
  for (std::size_t j = 0; j < kEpochCount; ++j) {
    EXPECT_EQ(barycentric_state_across_kernels(plain_kernels, 301, kDe421Epochs[j]).value(),
              barycentric_state_across_kernels(kernels_, 301, kDe421Epochs[j]).value());
  }
}

TEST_F(De421, OuterPlanetCentresNeedAnotherKernel) {
  const auto jupiter = barycentric_state_across_kernels(kernels_, 599, 0.0);
  ASSERT_FALSE(jupiter.has_value());
  EXPECT_EQ(message(jupiter.error()), "no SPK segment continues the center chain from target 599 at TDB epoch 0");
  EXPECT_EQ(message(barycentric_state_across_kernels(kernels_, 399, 1696852800.5).error()),
            "no SPK segment continues the center chain from target 399 at TDB epoch 1696852800.5");
}

}  // namespace
}  // namespace ephemeris
