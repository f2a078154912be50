// DE421 read through the kernel reader and checked against CSPICE.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include <gtest/gtest.h>

#include "spk/center_chain.h"
#include "spk/coverage.h"
#include "spk/spk_kernel.h"
#include "time/testing/real_data.h"

namespace ephemeris {
namespace {

#include "spk/testdata/de421_reference.inc"

class De421 : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(testing::have_de421()); }
  std::vector<SpkKernel> kernels_ = [] {
    std::vector<SpkKernel> kernels;
    if (testing::have_de421()) kernels.push_back(SpkKernel::open(EPHEMERIS_DE421_PATH).value());
    return kernels;
  }();
};

TEST_F(De421, SegmentsAndCoverageAsCspiceReadsThem) {
  const auto segments = kernels_[0].segments().value();
  ASSERT_EQ(segments.size(), static_cast<std::size_t>(kDe421SegmentCount));
  for (std::size_t i = 0; i < segments.size(); ++i) {
    const SpkSegment& s = segments[i];
    const auto& ints = kDe421SegmentIntegers[i];
    EXPECT_EQ(std::vector({s.target, s.center, s.frame, s.data_type, s.start_address, s.end_address}),
              std::vector(ints, ints + 6));
    EXPECT_EQ(std::pair(s.start_seconds, s.end_seconds),
              std::pair(kDe421SegmentBounds[i][0], kDe421SegmentBounds[i][1]));
    EXPECT_EQ(s.identifier, kDe421SegmentNames[i]);
  }
  EXPECT_EQ(common_contiguous_coverage(segments).value(), std::pair(-3169195200.0, 1696852800.0));
}

// CSPICE sums the Chebyshev series by Clenshaw's recurrence, this reader by
// the forward recurrence; both round differently at about 1e-16 of the
// coefficient sums, i.e. ~1e-8 km for planetary distances. The tolerances
// (1e-6 km, 1e-9 km/s) leave room for that and catch any wrong record,
// argument or sum.
TEST_F(De421, BarycentricStatesMatchCspice) {
  constexpr std::size_t kEpochCount = std::size(kDe421Epochs);
  double worst_position = 0.0;
  double worst_velocity = 0.0;
  for (std::size_t b = 0; b < std::size(kDe421Bodies); ++b) {
    // One batch over all epochs: both ends, J2000 and a spread across records.
    const auto states = barycentric_states_across_kernels(kernels_, kDe421Bodies[b], kDe421Epochs);
    ASSERT_TRUE(states.has_value()) << message(states.error());
    for (std::size_t j = 0; j < kEpochCount; ++j) {
      const double* wanted = kDe421BarycentricStates[b * kEpochCount + j];
      for (int k = 0; k < 3; ++k) {
        const double dp = std::fabs((*states)[j].position_km[k] - wanted[k]);
        const double dv = std::fabs((*states)[j].velocity_km_per_s[k] - wanted[3 + k]);
        worst_position = std::max(worst_position, dp);
        worst_velocity = std::max(worst_velocity, dv);
        EXPECT_LE(dp, 1e-6) << "body " << kDe421Bodies[b] << " epoch " << kDe421Epochs[j];
        EXPECT_LE(dv, 1e-9) << "body " << kDe421Bodies[b] << " epoch " << kDe421Epochs[j];
      }
    }
  }
  std::printf("DE421 vs CSPICE spkgeo: largest difference %.3g km, %.3g km/s\n", worst_position, worst_velocity);
}

}  // namespace
}  // namespace ephemeris
