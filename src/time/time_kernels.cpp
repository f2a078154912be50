#include "time/time_kernels.h"

#include <cmath>
#include <limits>
#include <string>
#include <string_view>

#include "core/constants.h"
#include "core/julian_day.h"
#include "core/text_format.h"
#include "time/tdb_model.h"

namespace ephemeris {
namespace {

constexpr std::string_view kRotationNeedsLskMessage =
    "topocentric origins require a leap-second kernel; attach one with SpkEphemeris::with_leap_second_kernel";
constexpr std::string_view kRotationNeedsEopMessage =
    "topocentric origins require an Earth orientation table (DUT1); attach one with SpkEphemeris::with_eop";

// The failure as the engine reports it: TimeConversion with the failure's text.
template <typename E>
std::unexpected<EphemerisError> conversion_error(const E& error) {
  return std::unexpected(EphemerisError::time_conversion(std::string(message(error))));
}

std::unexpected<EphemerisError> conversion_error(std::string_view text) {
  return std::unexpected(EphemerisError::time_conversion(std::string(text)));
}

std::unexpected<UtcConversionError> non_finite() {
  return std::unexpected(UtcConversionError::from(TimeConversionError::non_finite_julian_day()));
}

// UTC Julian day of the UT1 Julian day `jd` through the table.
std::expected<double, UtcConversionError> utc_of_ut1(const EarthOrientationTable* eop, double jd) {
  if (eop == nullptr) return std::unexpected(UtcConversionError::missing_earth_orientation());
  const auto utc = eop->utc_julian_day_from_ut1(jd);
  if (!utc) return std::unexpected(UtcConversionError::from(utc.error()));
  return *utc;
}

bool is_universal(TimeScale scale) { return scale == TimeScale::Utc || scale == TimeScale::Ut1; }

std::expected<double, UtcConversionError> finite_day(double jd) {
  if (!std::isfinite(jd)) return non_finite();
  return jd;
}

// UT1 Julian day of the UTC Julian day `utc`: plus the table's interpolated DUT1.
std::expected<double, UtcConversionError> ut1_of_utc(const EarthOrientationTable& eop, double utc) {
  const auto sample = eop.interpolated_sample(utc);
  if (!sample) return std::unexpected(UtcConversionError::from(sample.error()));
  return finite_day(utc + sample->dut1 / kSecondsPerDay);
}

// UTC Julian day of the TT Julian day `tt`. The three fixed-point steps of
// the kernel settle on a day whose TAI - UTC gives `tt` back, except for an
// instant inside a positive leap second (23:59:60), where TAI - UTC of the
// result differs from the one that produced it: such an instant is refused.
std::expected<double, EphemerisError> utc_of_tt(const LeapSecondKernel& lsk, double tt) {
  const auto utc = lsk.utc_julian_day(TimeScale::Tt, tt);
  if (!utc) return conversion_error(utc.error());
  const auto offset = lsk.delta_at(*utc);
  if (!offset) return conversion_error(offset.error());
  const auto previous = lsk.delta_at(tt - (*offset + lsk.delta_t_a()) / kSecondsPerDay);
  if (previous && *previous != *offset) {
    const std::string text =
        "TT Julian day " + format_plain_number(tt) + " falls inside a leap second, which has no UTC Julian day";
    return conversion_error(std::string_view(text));
  }
  return *utc;
}

// TT Julian day of `jd` in `scale` with the leap-second kernel, UT1 through the table.
std::expected<double, UtcConversionError> tt_with_kernel(const LeapSecondKernel& lsk, const EarthOrientationTable* eop,
                                                         TimeScale scale, double jd) {
  if (scale != TimeScale::Ut1) return lsk.tt_julian_day(scale, jd);
  if (!std::isfinite(jd)) return non_finite();
  const auto utc = utc_of_ut1(eop, jd);
  if (!utc) return utc;
  if (!std::isfinite(*utc)) return non_finite();
  return lsk.tt_julian_day(TimeScale::Utc, *utc);
}

// UT1 Julian day of `jd` in `scale`: its UTC plus the table's interpolated DUT1.
std::expected<double, UtcConversionError> ut1_with_kernels(const LeapSecondKernel& lsk,
                                                           const EarthOrientationTable& eop, TimeScale scale,
                                                           double jd) {
  if (!std::isfinite(jd)) return non_finite();
  if (scale == TimeScale::Ut1) return jd;
  const auto utc = lsk.utc_julian_day(scale, jd);
  if (!utc) return utc;
  return ut1_of_utc(eop, *utc);
}

}  // namespace

std::expected<double, EphemerisError> TimeKernels::tdb_seconds(const Instant& instant) const {
  const double jd = instant.julian_day;
  if (lsk_) {
    TimeScale scale = instant.time_scale;
    double day = jd;
    if (scale == TimeScale::Ut1) {
      const auto utc = utc_of_ut1(eop(), jd);
      if (!utc) return conversion_error(utc.error());
      scale = TimeScale::Utc;
      day = *utc;
    }
    const auto converted = lsk_->tdb_seconds(scale, day);
    // A finite day whose seconds overflow gives, as without the kernel, a
    // non-finite time that no range holds: the engine reports it out of range.
    if (!converted && std::isfinite(jd) && converted.error() == non_finite().error()) {
      return std::copysign(std::numeric_limits<double>::infinity(), jd - kJ2000JulianDay);
    }
    if (!converted) return conversion_error(converted.error());
    return *converted;
  }
  if (!std::isfinite(jd)) return conversion_error(TimeConversionError::non_finite_julian_day());
  double seconds = 0.0;
  switch (instant.time_scale) {
    case TimeScale::Utc:
    case TimeScale::Ut1:
      return conversion_error(TimeConversionError::unsupported(instant.time_scale));
    case TimeScale::Tdb:
      seconds = seconds_since_j2000(jd);
      break;
    case TimeScale::Tt:
      seconds = tdb_seconds_from_tt_seconds(seconds_since_j2000(jd), kStandardTdbModel);
      break;
  }
  return seconds;
}

std::expected<double, EphemerisError> TimeKernels::tt_julian_day(const Instant& instant) const {
  const double jd = instant.julian_day;
  if (instant.time_scale == TimeScale::Tt) return jd;
  if (lsk_) {
    const auto tt = tt_with_kernel(*lsk_, eop(), instant.time_scale, jd);
    if (!tt) return conversion_error(tt.error());
    return *tt;
  }
  if (!std::isfinite(jd)) return conversion_error(TimeConversionError::non_finite_julian_day());
  if (instant.time_scale != TimeScale::Tdb) {
    return conversion_error(TimeConversionError::unsupported(instant.time_scale));
  }
  return julian_day_from_seconds_since_j2000(seconds_since_j2000(jd));
}

std::expected<double, EphemerisError> TimeKernels::julian_day_in(const Instant& instant, TimeScale target) const {
  const double jd = instant.julian_day;
  const TimeScale source = instant.time_scale;
  if (source == target) return jd;
  if (!std::isfinite(jd)) return conversion_error(TimeConversionError::non_finite_julian_day());
  std::expected<double, UtcConversionError> converted;
  if (is_universal(source) && is_universal(target)) {
    if (!eop_) return conversion_error(UtcConversionError::missing_earth_orientation());
    converted = source == TimeScale::Ut1 ? utc_of_ut1(eop(), jd) : ut1_of_utc(*eop_, jd);
  } else if (!is_universal(source) && !is_universal(target)) {
    const TdbModel model = lsk_ ? lsk_->tdb_model() : kStandardTdbModel;
    const double t = seconds_since_j2000(jd);
    converted = finite_day(julian_day_from_seconds_since_j2000(
        target == TimeScale::Tdb ? tdb_seconds_from_tt_seconds(t, model) : tt_seconds_from_tdb_seconds(t, model)));
  } else if (!lsk_) {
    return conversion_error(TimeConversionError::unsupported(is_universal(source) ? source : target));
  } else if (target == TimeScale::Tdb) {
    const auto seconds = tdb_seconds(instant);
    if (!seconds) return seconds;
    converted = finite_day(julian_day_from_seconds_since_j2000(*seconds));
  } else if (target == TimeScale::Tt) {
    return tt_julian_day(instant);
  } else {
    const auto tt = lsk_->tt_julian_day(source, jd);
    if (!tt) return conversion_error(tt.error());
    if (target == TimeScale::Utc) return utc_of_tt(*lsk_, *tt);
    if (!eop_) return conversion_error(UtcConversionError::missing_earth_orientation());
    converted = ut1_with_kernels(*lsk_, *eop_, TimeScale::Tt, *tt);
  }
  if (!converted) return conversion_error(converted.error());
  return *converted;
}

std::expected<EarthRotationEpochs, EphemerisError> TimeKernels::earth_rotation_epochs(const Instant& instant) const {
  if (!lsk_) return conversion_error(kRotationNeedsLskMessage);
  if (!eop_) return conversion_error(kRotationNeedsEopMessage);
  const auto tt = tt_with_kernel(*lsk_, eop(), instant.time_scale, instant.julian_day);
  if (!tt) return conversion_error(tt.error());
  const auto ut1 = ut1_with_kernels(*lsk_, *eop_, instant.time_scale, instant.julian_day);
  if (!ut1) return conversion_error(ut1.error());
  return EarthRotationEpochs{*ut1, *tt};
}

std::expected<std::pair<double, double>, EphemerisError> TimeKernels::polar_motion_arcsec(
    double ut1_julian_day) const {
  if (!eop_) return conversion_error(kRotationNeedsEopMessage);
  const auto utc = eop_->utc_julian_day_from_ut1(ut1_julian_day);
  if (!utc) return conversion_error(utc.error());
  const auto pole = eop_->polar_motion_arcsec(*utc);
  if (!pole) return conversion_error(pole.error());
  return *pole;
}

std::optional<Ut1DayTimes> TimeKernels::ut1_day_times(double ut1_julian_day) const {
  // The steps of tdb_seconds, earth_rotation_epochs and polar_motion_arcsec
  // for a UT1 day, with the UTC day they all start from taken once.
  if (!lsk_ || !eop_ || !std::isfinite(ut1_julian_day)) return std::nullopt;
  const auto utc = utc_of_ut1(eop(), ut1_julian_day);
  if (!utc || !std::isfinite(*utc)) return std::nullopt;
  const auto tdb = lsk_->tdb_seconds(TimeScale::Utc, *utc);
  const auto tt = lsk_->tt_julian_day(TimeScale::Utc, *utc);
  const auto pole = eop_->polar_motion_arcsec(*utc);
  if (!tdb || !tt || !pole) return std::nullopt;
  return Ut1DayTimes{*tdb, {ut1_julian_day, *tt}, *pole};
}

}  // namespace ephemeris
