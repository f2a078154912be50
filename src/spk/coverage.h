// The time interval a kernel supports for every body it holds.
#pragma once

#include <expected>
#include <span>
#include <utility>

#include "core/errors.h"
#include "spk/daf.h"

namespace ephemeris {

// The interval [start, end] (TDB seconds past J2000) covered without gaps by
// every target of `segments`: each target's intervals must chain without a
// gap (touching or overlapping intervals are contiguous), and the result is
// the intersection of the targets' spans. Errors (Backend): "SPK kernel has
// no segments", "SPK target {target} has discontinuous segment coverage"
// (targets are checked in increasing code order), "SPK targets have no common
// coverage interval".
std::expected<std::pair<double, double>, EphemerisError> common_contiguous_coverage(
    std::span<const SpkSegment> segments);

}  // namespace ephemeris
