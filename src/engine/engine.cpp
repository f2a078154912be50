#include "engine/engine.h"

#include <cmath>

#include "core/julian_day.h"
#include "engine/position_request.h"
#include "spk/coverage.h"
#include "time/checksum_text.h"
#include "time/file_name.h"

namespace ephemeris {
namespace {

constexpr std::string_view kNoFileNameMessage = "kernel path has no UTF-8 filename";

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
  const SupportedRange range{julian_day_from_seconds_since_j2000(coverage->first),
                             julian_day_from_seconds_since_j2000(coverage->second), TimeScale::Tdb};
  return SpkEphemeris(std::move(metadata), range, std::move(*kernel));
}

SpkEphemeris SpkEphemeris::with_leap_second_kernel(LeapSecondKernel kernel) && {
  time_.set_leap_second_kernel(std::move(kernel));
  return std::move(*this);
}

SpkEphemeris SpkEphemeris::with_eop(EarthOrientationTable table) && {
  time_.set_eop(std::move(table));
  return std::move(*this);
}

SpkEphemeris SpkEphemeris::with_time_kernels(LeapSecondKernel kernel, EarthOrientationTable table) && {
  time_.set_leap_second_kernel(std::move(kernel));
  time_.set_eop(std::move(table));
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
  const auto seconds = time_.tdb_seconds(instant);
  if (!seconds) return std::unexpected(seconds.error());
  return in_supported_range(instant, *seconds);
}

std::expected<double, EphemerisError> SpkEphemeris::in_supported_range(const Instant& instant, double seconds) const {
  const double tdb_jd = julian_day_from_seconds_since_j2000(seconds);
  const auto& range = supported_range_;
  if (tdb_jd < range.start_julian_day || tdb_jd > range.end_julian_day || std::isnan(tdb_jd)) {
    return std::unexpected(EphemerisError::out_of_range(instant.julian_day, range.start_julian_day,
                                                        range.end_julian_day, range.time_scale));
  }
  return seconds;
}

std::expected<CartesianState, EphemerisError> SpkEphemeris::observer_gcrs_state(const GeodeticObserver& observer,
                                                                                const Instant& instant) const {
  const auto site = site_at(observer, instant);
  if (!site) return std::unexpected(site.error());
  return site->gcrs_state;
}

std::expected<SiteAtInstant, EphemerisError> SpkEphemeris::site_at(const GeodeticObserver& observer,
                                                                   const Instant& instant) const {
  const auto epochs = time_.earth_rotation_epochs(instant);
  if (!epochs) return std::unexpected(epochs.error());
  const auto pole = time_.polar_motion_arcsec(epochs->ut1_julian_day);
  if (!pole) return std::unexpected(pole.error());
  return turn_site(observer, *epochs, *pole);
}

std::expected<SiteAtInstant, EphemerisError> SpkEphemeris::turn_site(const GeodeticObserver& observer,
                                                                     const EarthRotationEpochs& epochs,
                                                                     std::pair<double, double> pole_arcsec) {
  const auto site = site_gcrs_from_geodetic(observer, epochs.ut1_julian_day, epochs.tt_julian_day, pole_arcsec.first,
                                            pole_arcsec.second);
  if (!site) return std::unexpected(EphemerisError::invalid_request(std::string(message(site.error()))));
  return SiteAtInstant{site->state, epochs, site->greenwich_apparent_sidereal_time_rad};
}

}  // namespace ephemeris
