#include "time/tdb_model.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace ephemeris {
namespace {

// Whether the second step, tt + offset(first), is certain to round to `first`
// = tt + `offset` (the first step) again, so that it need not be evaluated.
// The two offsets differ by at most |K| (1 + |EB|) |M1| |first - tt| plus the
// roundings of M, E and the sines, which the guards below keep under 1e-9
// radians (|M| < 1e6, so an ulp of M or E is under 2e-10; sines within an ulp
// of 1); `bound` doubles that. The exact sum tt + offset lies `error` away
// from `first` (Knuth's two-sum); when it stays that far plus `bound` inside
// the half-gaps to first's neighbours, so does the second sum, which then
// rounds to first. Otherwise (about one call in 2,000 over 1900-2050) the
// step is evaluated.
bool second_step_repeats(double tt_seconds, double offset, double first, const TdbModel& model) {
  const double k = std::fabs(model.k);
  const double eb = std::fabs(model.eb);
  const double m1 = std::fabs(model.m1);
  const double magnitude = std::fabs(first);
  if (!(k <= 1.0 && eb <= 1.0 && magnitude >= 1.0 && magnitude < 1e12 &&
        std::fabs(model.m0) + m1 * (magnitude + 2.0) < 1e6)) {
    return false;  // NaN, infinity or an unusual model: the step is evaluated
  }
  const double bound = 2.0 * k * ((1.0 + eb) * (m1 * std::fabs(first - tt_seconds) + 1e-9) + 1e-9);
  const double offset_part = first - tt_seconds;
  const double error = (tt_seconds - (first - offset_part)) + (offset - offset_part);
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(magnitude);
  const double gap = std::min(std::bit_cast<double>(bits + 1) - magnitude, magnitude - std::bit_cast<double>(bits - 1));
  return std::fabs(error) + bound < 0.5 * gap;
}

}  // namespace

double tdb_offset_seconds(double tdb_seconds, const TdbModel& model) {
  const double mean_anomaly = model.m0 + model.m1 * tdb_seconds;
  const double eccentric_anomaly = mean_anomaly + model.eb * std::sin(mean_anomaly);
  return model.k * std::sin(eccentric_anomaly);
}

double tdb_third_iterate(double tt_seconds, const TdbModel& model) {
  const auto step = [&](double s) { return tt_seconds + tdb_offset_seconds(s, model); };
  const double offset = tdb_offset_seconds(tt_seconds, model);
  const double first = tt_seconds + offset;
  if (second_step_repeats(tt_seconds, offset, first, model)) return first;
  const double second = step(first);
  // Where the second step repeated the first, the third would repeat it again.
  return second == first ? second : step(second);
}

double tdb_seconds_from_tt_seconds(double tt_seconds, const TdbModel& model) {
  const double s3 = tdb_third_iterate(tt_seconds, model);
  return tt_seconds + (s3 - tt_seconds);
}

double tt_seconds_from_tdb_seconds(double tdb_seconds, const TdbModel& model) {
  const double s3 = tdb_third_iterate(tdb_seconds, model);
  return tdb_seconds - (s3 - tdb_seconds);
}

}  // namespace ephemeris
