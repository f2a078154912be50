#include "engine/engine.h"

#include <cmath>

#include "core/constants.h"
#include "engine/position_request.h"
#include "spk/coverage.h"
#include "time/checksum_text.h"
#include "time/file_name.h"
#include "time/tdb_model.h"

namespace ephemeris {
namespace {

constexpr std::string_view kNoFileNameMessage = "kernel path has no UTF-8 filename";
constexpr std::string_view kUt1NeedsEopMessage =
    "UT1 requires an Earth orientation table (DUT1); attach one with SpkEphemeris::with_eop";
constexpr std::string_view kRotationNeedsLskMessage =
    "topocentric origins require a leap-second kernel; attach one with SpkEphemeris::with_leap_second_kernel";
constexpr std::string_view kRotationNeedsEopMessage =
    "topocentric origins require an Earth orientation table (DUT1); attach one with SpkEphemeris::with_eop";

template <typename E>
EphemerisError time_conversion(const E& error) {
  return EphemerisError::time_conversion(std::string(message(error)));
}

}  // namespace

SpkEphemeris::SpkEphemeris(EphemerisMetadata metadata, SupportedRange range, SpkKernel primary)
    : metadata_(std::move(metadata)), supported_range_(range) {
  kernels_.push_back(std::move(primary));
}

std::expected<SpkEphemeris, EphemerisError> SpkEphemeris::open(std::string_view path, std::string_view sha256) {
  auto name = utf8_file_name(path);
  if (!name) return std::unexpected(EphemerisError::backend(std::string(kNoFileNameMessage)));
  auto kernel = SpkKernel::open(std::string(path));
  if (!kernel) return std::unexpected(spk_ephemeris_error(kernel.error()));
  if (!is_sha256_text(sha256)) return std::unexpected(EphemerisError::backend(std::string(kBadChecksumMessage)));
  auto segments = kernel->segments();
  if (!segments) return std::unexpected(spk_ephemeris_error(segments.error()));
  auto coverage = common_contiguous_coverage(*segments);
  if (!coverage) return std::unexpected(coverage.error());

  EphemerisMetadata metadata;
  metadata.kernel_name = std::move(*name);
  metadata.kernel_sha256 = ascii_lower(sha256);
  const SupportedRange range{tdb_julian_day_from_seconds(coverage->first),
                             tdb_julian_day_from_seconds(coverage->second), TimeScale::Tdb};
  return SpkEphemeris(std::move(metadata), range, std::move(*kernel));
}

SpkEphemeris SpkEphemeris::with_leap_second_kernel(LeapSecondKernel kernel) && {
  lsk_ = std::move(kernel);
  return std::move(*this);
}

SpkEphemeris SpkEphemeris::with_eop(EarthOrientationTable table) && {
  eop_ = std::move(table);
  return std::move(*this);
}

SpkEphemeris SpkEphemeris::with_time_kernels(LeapSecondKernel kernel, EarthOrientationTable table) && {
  lsk_ = std::move(kernel);
  eop_ = std::move(table);
  return std::move(*this);
}

std::expected<SpkEphemeris, EphemerisError> SpkEphemeris::with_additional_kernel(SpkEphemeris engine,
                                                                                 SpkKernel kernel,
                                                                                 std::string kernel_name,
                                                                                 std::string_view sha256) {
  if (!is_sha256_text(sha256)) return std::unexpected(EphemerisError::backend(std::string(kBadChecksumMessage)));
  if (auto segments = kernel.segments(); !segments) return std::unexpected(spk_ephemeris_error(segments.error()));
  engine.metadata_.additional_kernels.push_back(KernelProvenance{std::move(kernel_name), ascii_lower(sha256)});
  engine.kernels_.push_back(std::move(kernel));
  return engine;
}

std::expected<KernelCell::Borrow, EphemerisError> SpkEphemeris::borrow_kernels() const {
  auto borrow = kernels_.try_borrow();
  if (!borrow) return std::unexpected(EphemerisError::backend("SPK kernel list is already borrowed"));
  return std::move(*borrow);
}

std::expected<double, EphemerisError> SpkEphemeris::tdb_seconds(const Instant& instant) const {
  const double jd = instant.julian_day;
  double seconds = 0.0;
  if (lsk_) {
    std::expected<double, UtcConversionError> converted;
    if (instant.time_scale == TimeScale::Ut1) {
      if (!eop_) return std::unexpected(EphemerisError::time_conversion(std::string(kUt1NeedsEopMessage)));
      converted = lsk_->tdb_seconds_with_eop(TimeScale::Ut1, *eop_, jd);
    } else {
      converted = lsk_->tdb_seconds(instant.time_scale, jd);
    }
    if (!converted) return std::unexpected(time_conversion(converted.error()));
    seconds = *converted;
  } else {
    if (!std::isfinite(jd)) return std::unexpected(time_conversion(TimeConversionError::non_finite_julian_day()));
    switch (instant.time_scale) {
      case TimeScale::Utc:
      case TimeScale::Ut1:
        return std::unexpected(time_conversion(TimeConversionError::unsupported(instant.time_scale)));
      case TimeScale::Tdb:
        seconds = (jd - kJ2000JulianDay) * kSecondsPerDay;
        break;
      case TimeScale::Tt:
        seconds = tdb_seconds_from_tt_seconds((jd - kJ2000JulianDay) * kSecondsPerDay, kStandardTdbModel);
        break;
    }
  }
  const double tdb_jd = tdb_julian_day_from_seconds(seconds);
  const auto& range = supported_range_;
  if (tdb_jd < range.start_julian_day || tdb_jd > range.end_julian_day || std::isnan(tdb_jd)) {
    return std::unexpected(
        EphemerisError::out_of_range(jd, range.start_julian_day, range.end_julian_day, range.time_scale));
  }
  return seconds;
}

std::expected<double, EphemerisError> SpkEphemeris::instant_as_tt(const Instant& instant) const {
  const double jd = instant.julian_day;
  if (instant.time_scale == TimeScale::Tt) return jd;
  if (lsk_) {
    auto tt = lsk_->tt_julian_day(instant.time_scale, eop(), jd);
    if (!tt) return std::unexpected(time_conversion(tt.error()));
    return *tt;
  }
  if (!std::isfinite(jd)) return std::unexpected(time_conversion(TimeConversionError::non_finite_julian_day()));
  if (instant.time_scale != TimeScale::Tdb) {
    return std::unexpected(time_conversion(TimeConversionError::unsupported(instant.time_scale)));
  }
  return tdb_julian_day_from_seconds((jd - kJ2000JulianDay) * kSecondsPerDay);
}

std::expected<EarthRotationEpochs, EphemerisError> SpkEphemeris::earth_rotation_epochs(
    const Instant& instant) const {
  if (!lsk_) return std::unexpected(EphemerisError::time_conversion(std::string(kRotationNeedsLskMessage)));
  if (!eop_) return std::unexpected(EphemerisError::time_conversion(std::string(kRotationNeedsEopMessage)));
  auto tt = lsk_->tt_julian_day(instant.time_scale, &*eop_, instant.julian_day);
  if (!tt) return std::unexpected(time_conversion(tt.error()));
  auto ut1 = lsk_->ut1_julian_day(instant.time_scale, *eop_, instant.julian_day);
  if (!ut1) return std::unexpected(time_conversion(ut1.error()));
  return EarthRotationEpochs{*ut1, *tt};
}

std::expected<CartesianState, EphemerisError> SpkEphemeris::observer_gcrs_state(const GeodeticObserver& observer,
                                                                                const Instant& instant) const {
  auto epochs = earth_rotation_epochs(instant);
  if (!epochs) return std::unexpected(epochs.error());
  auto utc = eop_->utc_julian_day_from_ut1(epochs->ut1_julian_day);
  if (!utc) return std::unexpected(time_conversion(utc.error()));
  auto pole = eop_->polar_motion_arcsec(*utc);
  if (!pole) return std::unexpected(time_conversion(pole.error()));
  auto state = observer_gcrs_from_geodetic(observer, epochs->ut1_julian_day, epochs->tt_julian_day, pole->first,
                                           pole->second);
  if (!state) return std::unexpected(EphemerisError::invalid_request(std::string(message(state.error()))));
  return *state;
}

}  // namespace ephemeris
