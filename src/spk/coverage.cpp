#include "spk/coverage.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ephemeris {

namespace {

// Key whose integer order is the IEEE 754 total order of the double.
std::int64_t total_order_key(double value) {
  const auto bits = std::bit_cast<std::int64_t>(value);
  return bits ^ static_cast<std::int64_t>(static_cast<std::uint64_t>(bits >> 63) >> 1);
}

}  // namespace

std::expected<std::pair<double, double>, EphemerisError> common_contiguous_coverage(
    std::span<const SpkSegment> segments) {
  if (segments.empty()) return std::unexpected(EphemerisError::backend("SPK kernel has no segments"));

  std::map<std::int32_t, std::vector<std::pair<double, double>>> by_target;
  for (const SpkSegment& segment : segments) {
    by_target[segment.target].emplace_back(segment.start_seconds, segment.end_seconds);
  }

  double common_start = 0.0;
  double common_end = 0.0;
  bool first_target = true;
  for (auto& [target, intervals] : by_target) {
    std::stable_sort(intervals.begin(), intervals.end(), [](const auto& a, const auto& b) {
      return total_order_key(a.first) < total_order_key(b.first);
    });
    double running_end = intervals.front().second;
    for (std::size_t i = 1; i < intervals.size(); ++i) {
      if (running_end < intervals[i].first) {
        return std::unexpected(EphemerisError::backend("SPK target " + std::to_string(target) +
                                                       " has discontinuous segment coverage"));
      }
      if (intervals[i].second > running_end) running_end = intervals[i].second;
    }
    const double target_start = intervals.front().first;
    if (first_target || target_start > common_start) common_start = target_start;
    if (first_target || running_end < common_end) common_end = running_end;
    first_target = false;
  }
  if (common_end < common_start) {
    return std::unexpected(EphemerisError::backend("SPK targets have no common coverage interval"));
  }
  return std::pair{common_start, common_end};
}

}  // namespace ephemeris
