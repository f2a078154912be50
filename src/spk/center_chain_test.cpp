// Barycentric states along centre chains across kernels (sums, precedence,
// missing links, cycles, batches equal to single epochs) and the common
// coverage of a kernel's targets.
#include "spk/center_chain.h"

#include <array>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "spk/coverage.h"
#include "spk/testing/spk_writer.h"

namespace ephemeris {
namespace {

using testing::fixed_segment;
using testing::kernel_of;
using testing::outcome;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const std::string kNoLink = "no SPK segment continues the center chain from target ";

template <typename... Kernels>
std::vector<SpkKernel> kernels_of(Kernels... kernels) {
  std::vector<SpkKernel> list;
  (list.push_back(std::move(kernels)), ...);
  return list;
}
std::string at(std::vector<SpkKernel>& kernels, std::int32_t target, double epoch) {
  return outcome(barycentric_state_across_kernels(kernels, target, epoch));
}
double x_at(std::vector<SpkKernel>& kernels, std::int32_t target, double epoch) {
  return barycentric_state_across_kernels(kernels, target, epoch).value().position_km[0];
}

TEST(CenterChain, SumsTheLinksAndNamesTheMissingOne) {
  testing::SegmentSpec type3 = fixed_segment(701, 0, {1, 2, 3});
  type3.data_type = 3;
  auto kernels = kernels_of(kernel_of({fixed_segment(3, 0, {1.5e8, 2.5e7, 1.0e7}),
                                       fixed_segment(399, 3, {4000.5, -300.25, 20.0}), fixed_segment(5, 0, {7, 1, 2}),
                                       fixed_segment(499, 4, {1, 2, 3}), type3}));
  EXPECT_EQ(barycentric_state_across_kernels(kernels, 399, 500.0)->position_km,
            (std::array<double, 3>{4000.5 + 1.5e8, -300.25 + 2.5e7, 20.0 + 1.0e7}));
  EXPECT_EQ(barycentric_states_across_kernels(kernels, 0, std::array{kNaN, 1e300}).value(),
            std::vector<StateVector>(2));  // the barycentre: nothing read
  EXPECT_EQ(at(kernels, 599, 12.5), kNoLink + "599 at TDB epoch 12.5");
  EXPECT_EQ(at(kernels, 499, 12.5), kNoLink + "4 at TDB epoch 12.5");
  EXPECT_EQ(at(kernels, 5, 1000.25), kNoLink + "5 at TDB epoch 1000.25");
  EXPECT_EQ(outcome(barycentric_states_across_kernels(kernels, 5, std::array{10.0, kNaN})),
            kNoLink + "5 at TDB epoch NaN");
  EXPECT_EQ(at(kernels, 701, 10.0), "unsupported SPK segment type 3");
  // A later kernel's own errors surface only when it is consulted.
  auto broken = testing::build_kernel({.segments = {fixed_segment(599, 5, {1, 2, 3})}});
  broken.put_u32(12, 5);
  kernels.push_back(SpkKernel::from_bytes(broken.bytes).value());  // the layout is read with the segments
  EXPECT_EQ(at(kernels, 5, 10.0), "ok");
  EXPECT_EQ(at(kernels, 599, 10.0), "unsupported SPK summary layout ND=2, NI=5");
}

TEST(CenterChain, EarlierKernelsAndLaterSegmentsTakePrecedence) {
  auto kernels = kernels_of(kernel_of({fixed_segment(5, 0, {7.0e8, 1, 2})}),
                            kernel_of({fixed_segment(5, 0, {-1, -1, -1}), fixed_segment(599, 5, {1000, -2000, 30})}));
  EXPECT_EQ(barycentric_state_across_kernels(kernels, 599, 100.0)->position_km,
            (std::array<double, 3>{1000.0 + 7.0e8, -2000.0 + 1, 30.0 + 2}));
  kernels[1] = kernel_of({fixed_segment(5, 0, {-1, -1, -1}, 1000.5)});
  EXPECT_EQ(x_at(kernels, 5, 1500.0), -1.0);  // where the first kernel has no coverage

  // One summary per record: the chain spans four records.
  kernels = kernels_of(kernel_of({fixed_segment(4, 0, {1, 1, 1}, 0.0, 3), fixed_segment(499, 4, {10, 0, 0}),
                                  fixed_segment(499, 4, {20, 0, 0}, 500.0), fixed_segment(499, 4, {30, 0, 0}, 2000.0)},
                                 1));
  EXPECT_EQ(x_at(kernels, 499, 100.0), 11.0);
  EXPECT_EQ(x_at(kernels, 499, 600.0), 21.0);
  EXPECT_EQ(x_at(kernels, 499, 1500.0), 21.0);  // a segment covers its end
  EXPECT_EQ(at(kernels, 499, 1900.5), kNoLink + "499 at TDB epoch 1900.5");
  EXPECT_EQ(x_at(kernels, 499, 2000.0), 31.0);
}

TEST(CenterChain, CyclesFailAfterThirtyTwoLinks) {
  std::vector<testing::SegmentSpec> chain = {fixed_segment(105, 106, {1, 0, 0}), fixed_segment(106, 105, {0, 1, 0})};
  for (std::int32_t body = 1; body <= 33; ++body) chain.push_back(fixed_segment(body, body - 1, {1, 0, 0}));
  auto kernels = kernels_of(kernel_of(chain));
  EXPECT_EQ(x_at(kernels, 32, 10.0), 32.0);
  EXPECT_EQ(barycentric_states_across_kernels(kernels, 32, std::array{10.0, 20.0}).value()[1].position_km[0], 32.0);
  EXPECT_EQ(at(kernels, 33, 10.0), "SPK center chain for target 33 contains a cycle");
  EXPECT_EQ(outcome(barycentric_states_across_kernels(kernels, 105, std::array{10.0, 20.0})),
            "SPK center chain for target 105 contains a cycle");
}

// The Earth over a moving barycentre, its coverage split over two segments
// (the later one winning at the shared epoch 500) with records of 50 and 125 s.
TEST(CenterChain, BatchEqualsSingleEpochsAndReadsEachBlockOnce) {
  auto kernels = kernels_of(kernel_of({
      testing::linear_segment(3, 0, 0.0, 100.0, 10, {1.234567e8, -9.87654e7, 3.3e6}, {12.3456, 27.1, -3.75}, 0.375),
      testing::linear_segment(399, 3, 0.0, 50.0, 10, {4671.123, -1234.5, 287.75}, {-0.0123, 0.456, 0.0789}, 1.5),
      testing::linear_segment(399, 3, 500.0, 125.0, 4, {4000.0, -1000.0, 200.0}, {0.5, 0.25, -0.125}, 2.5),
  }));
  std::vector<double> epochs;
  for (int i = 0; i <= 200; ++i) epochs.push_back(1000.0 - i * 4.99);  // descending, across records and segments
  epochs.push_back(500.0);
  const auto batch = barycentric_states_across_kernels(kernels, 399, epochs).value();
  EXPECT_EQ(kernels[0].type2_record_reads(), 3u);  // each segment's records fit one block
  for (std::size_t i = 0; i < epochs.size(); ++i) {
    ASSERT_EQ(batch[i], barycentric_state_across_kernels(kernels, 399, epochs[i]).value()) << epochs[i];
  }
  EXPECT_DOUBLE_EQ(batch.back().position_km[0], (1.234567e8 + 5 * 0.375 - 12.3456 * 50) + (4000.0 - 0.5 * 62.5));
}

// A chain looked up a light time away from one found before takes that one's
// records where they serve and gives what a fresh lookup gives, across
// records, segments and kernels.
TEST(CenterChain, ChainFoundNearAnotherEqualsAFreshLookup) {
  auto kernels = kernels_of(
      kernel_of({testing::linear_segment(399, 3, 200.0, 50.0, 2, {5.0, 6.0, 7.0}, {0.25, 0.5, 0.75}, 0.5)}),
      kernel_of({
          testing::linear_segment(3, 0, 0.0, 100.0, 10, {1.234567e8, -9.87654e7, 3.3e6}, {12.3456, 27.1, -3.75}, 0.375),
          testing::linear_segment(399, 3, 0.0, 50.0, 10, {4671.123, -1234.5, 287.75}, {-0.0123, 0.456, 0.0789}, 1.5),
          testing::linear_segment(399, 3, 500.0, 125.0, 4, {4000.0, -1000.0, 200.0}, {0.5, 0.25, -0.125}, 2.5),
      }));
  for (const double t : {60.0, 199.0, 260.0, 310.0, 510.0, 1000.0}) {
    ASSERT_TRUE(barycentric_state_across_kernels(kernels, 399, t));  // its records cached
    CenterChain near;
    find_center_chain(kernels, 399, t, near);
    for (const double away : {0.0, 1e-9, 5.0, 10.0, 11.0, 61.0, -1.0, -12.5}) {
      CenterChain chain;
      find_center_chain_near(kernels, near, t - away, chain);
      const auto got = evaluate_center_chain(kernels, chain, t - away);
      const auto fresh = barycentric_state_across_kernels(kernels, 399, t - away);
      EXPECT_EQ(outcome(got), outcome(fresh)) << t << " " << away;
      if (got && fresh) {
        EXPECT_EQ(*got, *fresh) << t << " " << away;
      }
    }
  }
}

// A chain keeps the cached records it found for its evaluation; reads that
// drop every cached block in between (past their bound) make it look again
// (a kept record used anyway is a use after free: the sanitizers see it).
TEST(CenterChain, KeptRecordsAreLookedUpAgainOnceTheBlocksAreDropped) {
  constexpr auto kRecords = static_cast<std::uint32_t>(SpkKernel::kMaxCachedRecordWords / 8 + 1024);  // RSIZE 8
  auto kernels = kernels_of(kernel_of({testing::linear_segment(3, 0, 0.0, 10.0, kRecords, {1, 2, 3}, {4, 5, 6}, 1)}));
  const StateVector fresh = barycentric_state_across_kernels(kernels, 3, 5.0).value();  // caches its block
  CenterChain chain;
  find_center_chain(kernels, 3, 5.0, chain);
  std::vector<double> every_block;
  for (std::uint32_t r = 0; r < kRecords; r += 128) every_block.push_back(r * 10.0 + 5.0);
  ASSERT_TRUE(barycentric_states_across_kernels(kernels, 3, every_block));
  const std::uint64_t reads = kernels[0].type2_record_reads();
  EXPECT_EQ(evaluate_center_chain(kernels, chain, 5.0).value(), fresh);
  EXPECT_EQ(kernels[0].type2_record_reads(), reads + 1);  // the first block, dropped, read again
}

TEST(CenterChain, SegmentsSharingDataFollowTheirOwnCentresAndDirectories) {
  // Summaries 3 and 4 point at the data of summary 2 (Mars relative to 4 over
  // [0, 400]); 3 names another centre, 4 one more data word, so that its
  // directory is read one word further on (and is invalid).
  testing::SegmentSpec early = fixed_segment(499, 4, {10, 0, 0});
  early.end_seconds = 400.0;
  auto image = testing::build_kernel(
      {.segments = {fixed_segment(4, 0, {1, 0, 0}), fixed_segment(5, 0, {2, 0, 0}), early, early, early}});
  for (std::size_t index : {3, 4}) {
    const std::size_t at = testing::KernelImage::summary_offset(2, index);
    image.put_f64(at, index == 3 ? 600.0 : 1000.5);
    image.put_f64(at + 8, index == 3 ? 1000.0 : 1100.0);
    image.put_u32(at + 20, index == 3 ? 5 : 4);
    image.put_u32(at + 32, static_cast<std::uint32_t>(image.start_addresses[2]));
    image.put_u32(at + 36, static_cast<std::uint32_t>(image.start_addresses[2] + early.data.size() - 4 + index));
  }
  auto kernels = kernels_of(SpkKernel::from_bytes(image.bytes).value());
  const auto states = barycentric_states_across_kernels(kernels, 499, std::array{100.0, 700.0}).value();
  EXPECT_EQ(std::pair(states[0].position_km[0], states[1].position_km[0]), std::pair(11.0, 12.0));
  EXPECT_EQ(outcome(barycentric_states_across_kernels(kernels, 499, std::array{100.0, 1050.0})),
            "invalid SPK Type 2 segment: record size does not describe three equal coefficient sets");
}

TEST(EvaluationOrder, CountingSortIntoTimeBuckets) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const std::pair<std::vector<double>, std::vector<std::size_t>> cases[] = {
      {{}, {}},
      {{1, 2, 2, 5}, {0, 1, 2, 3}},  // in order already
      {{3, 1, 2}, {1, 2, 0}},
      {{2, 1, 1}, {1, 2, 0}},
      {{7, 7}, {0, 1}},
      {{5, kNaN, 1, kInf, -kInf, 3}, {1, 2, 4, 5, 0, 3}},  // stable within a bucket
  };
  for (const auto& [epochs, order] : cases) EXPECT_EQ(evaluation_order(epochs), order);
}

TEST(CommonCoverage, IntersectionOfContiguousTargets) {
  const auto coverage = [](const std::vector<std::array<double, 3>>& target_start_end) {
    std::vector<SpkSegment> segments;
    for (const auto& [target, start, end] : target_start_end) {
      segments.push_back({.identifier = {}, .start_seconds = start, .end_seconds = end,
                          .target = static_cast<std::int32_t>(target), .data_type = 2});
    }
    const auto both = common_contiguous_coverage(segments);
    return both ? std::to_string(both->first) + " " + std::to_string(both->second) : message(both.error());
  };
  EXPECT_EQ(coverage({{1, -100, 500}, {2, -50, 800}, {3, -200, 400}}), "-50.000000 400.000000");
  EXPECT_EQ(coverage({{5, 100, 200}, {5, 0, 100}, {5, 150, 180}, {5, 200, 300}}), "0.000000 300.000000");
  EXPECT_EQ(coverage({{7, 0, 500}, {7, 100, 200}, {7, 300, 600}}), "0.000000 600.000000");  // a bridged gap
  EXPECT_EQ(coverage({{1, 0, 100}, {2, 100, 300}}), "100.000000 100.000000");
  EXPECT_EQ(coverage({}), "SPK kernel has no segments");
  EXPECT_EQ(coverage({{3, 0, 100}, {499, 0, 100}, {499, 101, 200}}),
            "SPK target 499 has discontinuous segment coverage");
  EXPECT_EQ(coverage({{1, 0, 100}, {2, 200, 300}}), "SPK targets have no common coverage interval");
  EXPECT_EQ(common_contiguous_coverage(std::vector<SpkSegment>{}).error().kind(), EphemerisError::Kind::Backend);
}

}  // namespace
}  // namespace ephemeris
