#include "spk/center_chain.h"

#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "core/constants.h"
#include "spk/testing/spk_writer.h"

namespace ephemeris {
namespace {

using testing::KernelSpec;
using testing::SegmentSpec;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A kernel of these segments, read from memory.
SpkKernel open_kernel(const std::vector<SegmentSpec>& segments, std::size_t summaries_per_record = 25) {
  KernelSpec spec;
  spec.segments = segments;
  spec.summaries_per_record = summaries_per_record;
  return SpkKernel::from_bytes(testing::build_kernel(spec).bytes).value();
}

// Constant position over [start, start + 1000 * records], zero velocity.
SegmentSpec fixed(std::int32_t target, std::int32_t center, std::array<double, 3> position, double start = 0.0,
                  std::uint32_t records = 1) {
  return testing::linear_segment(target, center, start, 1000.0, records, position, {0, 0, 0});
}

// Moving position (velocity in km/s), one record per 100 s.
SegmentSpec moving(std::int32_t target, std::int32_t center, std::array<double, 3> position,
                   std::array<double, 3> velocity) {
  return testing::linear_segment(target, center, 0.0, 100.0, 10, position, velocity, 0.375);
}

std::string chain_error(std::vector<SpkKernel>& kernels, std::int32_t target, double epoch) {
  const auto state = barycentric_state_across_kernels(kernels, target, epoch);
  return state ? "ok" : message(state.error());
}

TEST(CenterChain, EarthSumsItsSegmentAndItsBarycentre) {
  std::vector<SpkKernel> kernels;
  kernels.push_back(open_kernel({fixed(3, 0, {1.5e8, 2.5e7, 1.0e7}), fixed(399, 3, {4000.5, -300.25, 20.0}),
                                 fixed(301, 3, {-3.0e5, 1.0e4, 0.5})}));
  const StateVector earth = barycentric_state_across_kernels(kernels, 399, 500.0).value();
  EXPECT_EQ(earth.position_km[0], 4000.5 + 1.5e8);
  EXPECT_EQ(earth.position_km[1], -300.25 + 2.5e7);
  EXPECT_EQ(earth.position_km[2], 20.0 + 1.0e7);
  const std::array<double, 2> epochs = {500.0, 0.0};
  const auto batch = barycentric_states_across_kernels(kernels, 399, epochs).value();
  EXPECT_EQ(batch[0], earth);
  // Two passes, one record of each segment read once.
  EXPECT_EQ(kernels[0].type2_record_reads(), 2u);
}

TEST(CenterChain, BarycentreIsZeroWithoutReading) {
  std::vector<SpkKernel> none;
  const std::array<double, 3> epochs = {kNaN, 1e300, -5.0};
  const auto states = barycentric_states_across_kernels(none, 0, epochs).value();
  ASSERT_EQ(states.size(), 3u);
  for (const auto& state : states) EXPECT_EQ(state, StateVector{});
  EXPECT_EQ(barycentric_state_across_kernels(none, 0, kNaN).value(), StateVector{});
}

TEST(CenterChain, MissingLinkNamesTheBodyAndEpoch) {
  std::vector<SpkKernel> kernels;
  kernels.push_back(open_kernel({fixed(5, 0, {7.0e8, 1, 2}), fixed(399, 3, {1, 2, 3})}));
  EXPECT_EQ(chain_error(kernels, 599, 12.5),
            "no SPK segment continues the center chain from target 599 at TDB epoch 12.5");
  EXPECT_EQ(chain_error(kernels, 399, 12.5),
            "no SPK segment continues the center chain from target 3 at TDB epoch 12.5");
  EXPECT_EQ(chain_error(kernels, 5, kNaN), "no SPK segment continues the center chain from target 5 at TDB epoch NaN");
  EXPECT_EQ(chain_error(kernels, 5, 1000.25),
            "no SPK segment continues the center chain from target 5 at TDB epoch 1000.25");
  const std::array<double, 2> epochs = {10.0, kNaN};
  EXPECT_EQ(message(barycentric_states_across_kernels(kernels, 5, epochs).error()),
            "no SPK segment continues the center chain from target 5 at TDB epoch NaN");
}

TEST(CenterChain, AdditionalKernelFillsOnlyTheGaps) {
  std::vector<SpkKernel> kernels;
  kernels.push_back(open_kernel({fixed(5, 0, {7.0e8, 1, 2})}));
  // The second kernel also holds the Jupiter barycentre, with other values.
  kernels.push_back(open_kernel({fixed(5, 0, {-1, -1, -1}), fixed(599, 5, {1000.0, -2000.0, 30.0})}));
  const StateVector jupiter = barycentric_state_across_kernels(kernels, 599, 100.0).value();
  EXPECT_EQ(jupiter.position_km, (std::array<double, 3>{1000.0 + 7.0e8, -2000.0 + 1, 30.0 + 2}));
  EXPECT_EQ(barycentric_state_across_kernels(kernels, 5, 100.0).value().position_km,
            (std::array<double, 3>{7.0e8, 1, 2}));
  // Where the primary has no coverage, the additional kernel serves.
  kernels[1] = open_kernel({fixed(5, 0, {-1, -1, -1}, 1000.5)});
  EXPECT_EQ(barycentric_state_across_kernels(kernels, 5, 1500.0).value().position_km,
            (std::array<double, 3>{-1, -1, -1}));
}

TEST(CenterChain, LaterSegmentInTheFileWins) {
  std::vector<SpkKernel> kernels;
  kernels.push_back(open_kernel({fixed(4, 0, {1, 1, 1}, 0.0, 3), fixed(499, 4, {10, 0, 0}),
                                 fixed(499, 4, {20, 0, 0}, 500.0), fixed(499, 4, {30, 0, 0}, 2000.0)},
                                1));  // one summary per record: the chain spans four records
  EXPECT_EQ(barycentric_state_across_kernels(kernels, 499, 100.0).value().position_km[0], 11.0);
  EXPECT_EQ(barycentric_state_across_kernels(kernels, 499, 600.0).value().position_km[0], 21.0);
  // The end of a segment is covered by it.
  EXPECT_EQ(barycentric_state_across_kernels(kernels, 499, 1500.0).value().position_km[0], 21.0);
  EXPECT_EQ(chain_error(kernels, 499, 1900.5),
            "no SPK segment continues the center chain from target 499 at TDB epoch 1900.5");
  EXPECT_EQ(barycentric_state_across_kernels(kernels, 499, 2000.0).value().position_km[0], 31.0);
  EXPECT_EQ(barycentric_state_across_kernels(kernels, 499, 3000.0).value().position_km[0], 31.0);
}

TEST(CenterChain, CyclesFailAfterThirtyTwoLinks) {
  std::vector<SpkKernel> kernels;
  kernels.push_back(open_kernel({fixed(5, 6, {1, 0, 0}), fixed(6, 5, {0, 1, 0}), fixed(599, 5, {0, 0, 1})}));
  EXPECT_EQ(chain_error(kernels, 5, 10.0), "SPK center chain for target 5 contains a cycle");
  EXPECT_EQ(chain_error(kernels, 599, 10.0), "SPK center chain for target 599 contains a cycle");
  const std::array<double, 3> epochs = {10.0, 20.0, 30.0};
  EXPECT_EQ(message(barycentric_states_across_kernels(kernels, 599, epochs).error()),
            "SPK center chain for target 599 contains a cycle");
}

TEST(CenterChain, ThirtyTwoLinksAreAllowed) {
  std::vector<SegmentSpec> chain;
  for (std::int32_t body = 1; body <= 32; ++body) chain.push_back(fixed(body, body - 1, {1, 0, 0}));
  std::vector<SpkKernel> kernels;
  kernels.push_back(open_kernel(chain));
  EXPECT_EQ(barycentric_state_across_kernels(kernels, 32, 10.0).value().position_km[0], 32.0);
  const std::array<double, 2> epochs = {10.0, 20.0};
  EXPECT_EQ(barycentric_states_across_kernels(kernels, 32, epochs).value()[1].position_km[0], 32.0);
  kernels.clear();
  chain.push_back(fixed(33, 32, {1, 0, 0}));
  kernels.push_back(open_kernel(chain));
  EXPECT_EQ(chain_error(kernels, 33, 10.0), "SPK center chain for target 33 contains a cycle");
}

TEST(CenterChain, SplitCoverageIsServedSegmentBySegment) {
  std::vector<SpkKernel> kernels;
  kernels.push_back(
      open_kernel({fixed(4, 0, {5, 5, 5}, 0.0, 2), fixed(499, 4, {100, 0, 0}), fixed(499, 4, {200, 0, 0}, 1000.0)}));
  const std::array<double, 5> epochs = {1500.0, 500.0, 1000.0, 2000.0, 0.0};
  const auto states = barycentric_states_across_kernels(kernels, 499, epochs).value();
  const std::array<double, 5> expected = {205, 105, 205, 205, 105};  // 1000 is in both; the later segment wins
  for (std::size_t i = 0; i < epochs.size(); ++i) {
    EXPECT_EQ(states[i].position_km[0], expected[i]) << epochs[i];
    EXPECT_EQ(states[i], barycentric_state_across_kernels(kernels, 499, epochs[i]).value());
  }
}

TEST(CenterChain, BatchEqualsSingleEpochsBitForBit) {
  std::vector<SpkKernel> kernels;
  kernels.push_back(open_kernel({moving(3, 0, {1.234567e8, -9.87654e7, 3.3e6}, {12.3456, 27.1, -3.75}),
                                 moving(399, 3, {4671.123, -1234.5, 287.75}, {-0.0123, 0.456, 0.0789})}));
  std::vector<double> epochs;
  for (int i = 0; i <= 200; ++i) epochs.push_back(1000.0 - i * 4.99);
  const auto batch = barycentric_states_across_kernels(kernels, 399, epochs).value();
  for (std::size_t i = 0; i < epochs.size(); ++i) {
    ASSERT_EQ(batch[i], barycentric_state_across_kernels(kernels, 399, epochs[i]).value()) << epochs[i];
  }
}

TEST(CenterChain, SegmentsSharingDataFollowTheirOwnCentres) {
  // Two summaries point at the same data words but say different things:
  // each epoch continues from the centre of the segment it was found in.
  SegmentSpec early = fixed(499, 4, {10, 0, 0});
  early.end_seconds = 400.0;
  SegmentSpec late = early;
  late.center = 5;
  late.start_seconds = 600.0;
  late.end_seconds = 1000.0;
  late.data.clear();
  std::vector<SpkKernel> kernels;
  KernelSpec spec;
  spec.segments = {fixed(4, 0, {1, 0, 0}), fixed(5, 0, {2, 0, 0}), early, late};
  auto image = testing::build_kernel(spec);
  // Point the last summary at the data of the third.
  image.put_u32(testing::KernelImage::summary_offset(2, 3) + 32, static_cast<std::uint32_t>(image.start_addresses[2]));
  image.put_u32(testing::KernelImage::summary_offset(2, 3) + 36,
                static_cast<std::uint32_t>(image.start_addresses[2] + early.data.size() - 1));
  kernels.push_back(SpkKernel::from_bytes(image.bytes).value());
  const std::array<double, 2> epochs = {100.0, 700.0};
  const auto states = barycentric_states_across_kernels(kernels, 499, epochs).value();
  EXPECT_EQ(states[0].position_km[0], 11.0);
  EXPECT_EQ(states[1].position_km[0], 12.0);
}

TEST(CenterChain, LaterKernelErrorsSurfaceOnlyWhenReached) {
  KernelSpec broken_spec;
  broken_spec.segments = {fixed(599, 5, {1, 2, 3})};
  auto broken = testing::build_kernel(broken_spec);
  broken.put_u32(8, 1);
  broken.put_u32(12, 5);
  std::vector<SpkKernel> kernels;
  kernels.push_back(open_kernel({fixed(5, 0, {1, 0, 0})}));
  kernels.push_back(SpkKernel::from_bytes(broken.bytes).value());
  EXPECT_EQ(chain_error(kernels, 5, 10.0), "ok");
  EXPECT_EQ(chain_error(kernels, 599, 10.0), "unsupported SPK summary layout ND=1, NI=5");
}

TEST(CenterChain, SegmentErrorsPassThrough) {
  SegmentSpec type3 = fixed(499, 4, {1, 2, 3});
  type3.data_type = 3;
  std::vector<SpkKernel> kernels;
  kernels.push_back(open_kernel({fixed(4, 0, {1, 0, 0}), type3}));
  EXPECT_EQ(chain_error(kernels, 4, 10.0), "ok");
  EXPECT_EQ(chain_error(kernels, 499, 10.0), "unsupported SPK segment type 3");
}

}  // namespace
}  // namespace ephemeris
