#include "spk/coverage.h"

#include <vector>

#include <gtest/gtest.h>

namespace ephemeris {
namespace {

SpkSegment covering(std::int32_t target, double start, double end) {
  SpkSegment segment;
  segment.target = target;
  segment.center = 0;
  segment.start_seconds = start;
  segment.end_seconds = end;
  segment.data_type = 2;
  segment.start_address = 1;
  segment.end_address = 1;
  return segment;
}

std::string coverage_text(const std::vector<SpkSegment>& segments) {
  const auto coverage = common_contiguous_coverage(segments);
  if (!coverage) return message(coverage.error());
  return std::to_string(coverage->first) + " " + std::to_string(coverage->second);
}

TEST(CommonCoverage, IntersectsTheTargets) {
  EXPECT_EQ(coverage_text({covering(1, -100, 500), covering(2, -50, 800), covering(3, -200, 400)}),
            "-50.000000 400.000000");
}

TEST(CommonCoverage, TouchingAndOverlappingSegmentsAreContiguous) {
  EXPECT_EQ(coverage_text({covering(5, 100, 200), covering(5, 0, 100), covering(5, 150, 180), covering(5, 200, 300)}),
            "0.000000 300.000000");
}

TEST(CommonCoverage, GapsAndEmptyIntersections) {
  EXPECT_EQ(coverage_text({}), "SPK kernel has no segments");
  EXPECT_EQ(coverage_text({covering(3, 0, 100), covering(499, 0, 100), covering(499, 101, 200)}),
            "SPK target 499 has discontinuous segment coverage");
  // An earlier long segment bridges a later gap.
  EXPECT_EQ(coverage_text({covering(7, 0, 500), covering(7, 100, 200), covering(7, 300, 600)}),
            "0.000000 600.000000");
  EXPECT_EQ(coverage_text({covering(1, 0, 100), covering(2, 200, 300)}),
            "SPK targets have no common coverage interval");
  EXPECT_EQ(coverage_text({covering(1, 0, 100), covering(2, 100, 300)}), "100.000000 100.000000");
  const auto error = common_contiguous_coverage(std::vector<SpkSegment>{});
  EXPECT_EQ(error.error().kind(), EphemerisError::Kind::Backend);
}

}  // namespace
}  // namespace ephemeris
