// Conversions between UTC, TT and TDB on a loaded leap-second kernel.
#include <algorithm>
#include <cmath>

#include "core/constants.h"
#include "core/julian_day.h"
#include "time/leap_second_kernel.h"

namespace ephemeris {
namespace {

using Result = std::expected<double, UtcConversionError>;

std::unexpected<UtcConversionError> non_finite() {
  return std::unexpected(UtcConversionError::from(TimeConversionError::non_finite_julian_day()));
}

// A finite input can still overflow (a date near the largest double) or meet
// a NaN or infinite kernel constant; such a result is refused, not returned.
Result finite_result(double value) {
  if (!std::isfinite(value)) return non_finite();
  return value;
}

}  // namespace

Result LeapSecondKernel::delta_at(double utc_jd) const {
  const double first = entries_.front().effective_jd;
  if (utc_jd < first) return std::unexpected(UtcConversionError::before_first_leap_second(utc_jd, first));
  // The last entry whose effective date is not after utc_jd (dates ascend strictly).
  const auto after = std::upper_bound(entries_.begin(), entries_.end(), utc_jd,
                                      [](double jd, const LeapSecondEntry& e) { return jd < e.effective_jd; });
  return (after - 1)->delta_at;
}

double LeapSecondKernel::tdb_minus_tt_seconds(double tt_seconds) const {
  const TdbModel model = tdb_model();
  const auto step = [&](double s) { return tt_seconds + tdb_offset_seconds(s, model); };
  return tdb_offset_seconds(step(step(tt_seconds)), model);
}

Result LeapSecondKernel::tdb_seconds(TimeScale scale, double jd) const {
  if (!std::isfinite(jd)) return non_finite();
  switch (scale) {
    case TimeScale::Utc: {
      const auto offset = delta_at(jd);
      if (!offset) return std::unexpected(offset.error());
      const double tt_jd = jd + *offset / kSecondsPerDay + delta_t_a_ / kSecondsPerDay;
      return finite_result(tdb_seconds_from_tt_seconds(seconds_since_j2000(tt_jd), tdb_model()));
    }
    case TimeScale::Ut1:
      return std::unexpected(UtcConversionError::from(TimeConversionError::unsupported(TimeScale::Ut1)));
    case TimeScale::Tt:
      return finite_result(tdb_seconds_from_tt_seconds(seconds_since_j2000(jd), tdb_model()));
    case TimeScale::Tdb:
      return finite_result(seconds_since_j2000(jd));
  }
  return non_finite();
}

Result LeapSecondKernel::tt_julian_day(TimeScale scale, double jd) const {
  if (!std::isfinite(jd)) return non_finite();
  switch (scale) {
    case TimeScale::Ut1:
      return std::unexpected(UtcConversionError::missing_earth_orientation());
    case TimeScale::Utc: {
      const auto offset = delta_at(jd);
      if (!offset) return std::unexpected(offset.error());
      return finite_result(jd + (*offset + delta_t_a_) / kSecondsPerDay);
    }
    case TimeScale::Tt:
      return jd;
    case TimeScale::Tdb:
      return finite_result(
          julian_day_from_seconds_since_j2000(tt_seconds_from_tdb_seconds(seconds_since_j2000(jd), tdb_model())));
  }
  return non_finite();
}

Result LeapSecondKernel::utc_julian_day(TimeScale scale, double jd) const {
  if (!std::isfinite(jd)) return non_finite();
  switch (scale) {
    case TimeScale::Utc:
      return jd;
    case TimeScale::Ut1:
      return std::unexpected(UtcConversionError::missing_earth_orientation());
    case TimeScale::Tt:
    case TimeScale::Tdb:
      break;
  }
  const auto tt_jd = tt_julian_day(scale, jd);
  if (!tt_jd) return tt_jd;
  const double first = entries_.front().effective_jd;
  // Each estimate must be a date the table covers before it is used.
  const auto check = [&](double estimate) -> std::expected<void, UtcConversionError> {
    if (!std::isfinite(estimate)) return non_finite();
    if (estimate < first) return std::unexpected(UtcConversionError::before_first_leap_second(estimate, first));
    return {};
  };
  double estimate = *tt_jd - (entries_.back().delta_at + delta_t_a_) / kSecondsPerDay;
  // The last entry's offset is the largest, so this first estimate can fall
  // before the table for a UTC date just after the first entry (the first
  // 27 s of 1972 with the published table). Such a date is covered: start it
  // from the first entry's offset instead. Dates that precede the table
  // either way are refused with the first estimate.
  if (std::isfinite(estimate) && estimate < first) {
    const double from_first_entry = *tt_jd - (entries_.front().delta_at + delta_t_a_) / kSecondsPerDay;
    if (from_first_entry >= first) estimate = from_first_entry;
  }
  for (int step = 0; step < 3; ++step) {
    if (const auto ok = check(estimate); !ok) return std::unexpected(ok.error());
    const auto offset = delta_at(estimate);
    if (!offset) return std::unexpected(offset.error());
    estimate = *tt_jd - (*offset + delta_t_a_) / kSecondsPerDay;
  }
  if (const auto ok = check(estimate); !ok) return std::unexpected(ok.error());
  return estimate;
}

}  // namespace ephemeris
