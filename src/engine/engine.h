// The ephemeris engine: the opened SPK kernels, the optional time kernels, the
// provenance record and the supported range, and the time operations every
// computation goes through.
#pragma once

#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/ayanamsha.h"
#include "core/backend.h"
#include "core/cartesian_state.h"
#include "core/constants.h"
#include "core/errors.h"
#include "core/events.h"
#include "core/metadata.h"
#include "core/observer.h"
#include "core/time_scale.h"
#include "engine/kernel_cell.h"
#include "spk/spk_kernel.h"
#include "time/earth_orientation.h"
#include "time/leap_second_kernel.h"

namespace ephemeris {

// TDB seconds past J2000 to a TDB Julian day.
inline double tdb_julian_day_from_seconds(double seconds) { return seconds / kSecondsPerDay + kJ2000JulianDay; }

// Inclusive coverage of the engine, TDB Julian days.
struct SupportedRange {
  double start_julian_day = 0.0;
  double end_julian_day = 0.0;
  TimeScale time_scale = TimeScale::Tdb;
};

// UT1 and TT Julian days of one instant, for Earth-rotation work.
struct EarthRotationEpochs {
  double ut1_julian_day;
  double tt_julian_day;
};

class SpkEphemeris final : public EphemerisBackend {
 public:
  // Opens the primary kernel at `path`. `sha256` is the caller-verified
  // checksum: only its form (64 hexadecimal digits) is checked, after the
  // file record was read; it is recorded in lower case. Errors (Backend):
  // "kernel path has no UTF-8 filename", every SpkError text, the checksum
  // text, and the coverage errors of the kernel's segments.
  static std::expected<SpkEphemeris, EphemerisError> open(std::string_view path, std::string_view sha256);

  SpkEphemeris(SpkEphemeris&&) noexcept = default;
  SpkEphemeris& operator=(SpkEphemeris&&) noexcept = default;

  // Replace the time kernels; previously attached ones are dropped.
  SpkEphemeris with_leap_second_kernel(LeapSecondKernel kernel) &&;
  SpkEphemeris with_eop(EarthOrientationTable table) &&;
  SpkEphemeris with_time_kernels(LeapSecondKernel kernel, EarthOrientationTable table) &&;

  // Appends an additional kernel, which serves only bodies and epochs that
  // no earlier kernel covers. Consumes the engine: on failure it is dropped.
  // Errors (Backend): the checksum text, and the kernel's segment-list error.
  static std::expected<SpkEphemeris, EphemerisError> with_additional_kernel(SpkEphemeris engine, SpkKernel kernel,
                                                                            std::string kernel_name,
                                                                            std::string_view sha256);

  const EphemerisMetadata& metadata() const { return metadata_; }
  const SupportedRange& supported_range() const { return supported_range_; }
  const LeapSecondKernel* leap_second_kernel() const { return lsk_ ? &*lsk_ : nullptr; }
  const EarthOrientationTable* eop() const { return eop_ ? &*eop_ : nullptr; }

  // TDB seconds past J2000 of `instant`, tested against the supported range.
  std::expected<double, EphemerisError> tdb_seconds(const Instant& instant) const;
  // TT Julian day of `instant`; no range test.
  std::expected<double, EphemerisError> instant_as_tt(const Instant& instant) const;
  // UT1 and TT Julian days; needs both time kernels.
  std::expected<EarthRotationEpochs, EphemerisError> earth_rotation_epochs(const Instant& instant) const;
  // Geocentric GCRS position (km) and velocity (km/s) of a site at `instant`.
  std::expected<CartesianState, EphemerisError> observer_gcrs_state(const GeodeticObserver& observer,
                                                                     const Instant& instant) const;

  std::expected<Position, EphemerisError> position(Body body, const Instant& instant,
                                                   const PositionOptions& options) const override;
  std::expected<std::vector<Position>, EphemerisError> positions(std::span<const Body> bodies,
                                                                 std::span<const Instant> instants,
                                                                 const PositionOptions& options) const override;

  // Next instant after `after` at which the Sun's apparent geocentric
  // longitude (true ecliptic and equinox of date) reaches `target_deg`
  // degrees: 0, 90, 180, 270 for the equinoxes and solstices. An event
  // within one second after `after` is skipped. The search runs in the scale
  // of `after`; the result is a TT instant. Errors: InvalidRequest "longitude
  // speed is too small to search for the event"; any error of the position
  // requests (OutOfRange near the end of the kernel, time-kernel errors for
  // UTC or UT1) or of the final conversion to TT.
  std::expected<Instant, EphemerisError> next_sun_longitude(const Instant& after, double target_deg) const;
  // The same for the Moon's apparent longitude minus the Sun's, in [0, 360):
  // 0 for the new Moon, 180 for the full Moon.
  std::expected<Instant, EphemerisError> next_sun_moon_elongation(const Instant& after, double target_deg) const;

  // Upper transit of the Sun or the Moon nearest in hour angle to `around`
  // for `observer`, with the rise before and the set after it at the
  // apparent topocentric altitude `altitude_deg` (degrees; no refraction or
  // semi-diameter is added). Needs both time kernels whatever the scale of
  // `around`. Errors, in this order: UnsupportedBody for other bodies;
  // InvalidRequest "horizon altitude must be finite"; the observer's
  // coordinate error (InvalidRequest); the time-kernel errors; InvalidRequest
  // "body does not cross the requested altitude" when a rise or set
  // refinement meets a day without crossing; position errors.
  std::expected<RiseSetTransit, EphemerisError> rise_set_transit(Body body, const GeodeticObserver& observer,
                                                                 const Instant& around, double altitude_deg) const;
  // First event of `kind` later than one second after `after`, looked for in
  // the days centred on the transits nearest to `after`, `after` + 1 and
  // `after` + 2 days (UT1). Errors: the time-kernel errors first; those of
  // rise_set_transit for the first day; InvalidRequest "no {kind} of {body}
  // within 3 days after the query instant" otherwise.
  std::expected<HorizonEvent, EphemerisError> next_horizon_event(Body body, const GeodeticObserver& observer,
                                                                 const Instant& after, HorizonEventKind kind,
                                                                 double altitude_deg) const;
  // Eight fixed passes that move the UT1 Julian day `start_ut1_julian_day`
  // to the local hour angle of `event` (0 for a transit, -H0 / +H0 for a rise
  // or set at `altitude_deg`), re-evaluating the body at every pass; returns
  // the UT1 Julian day after the last pass. Errors: time-kernel and position
  // errors; InvalidRequest "body does not cross the requested altitude", or
  // the coordinate error of a non-finite altitude, for a rise or set.
  std::expected<double, EphemerisError> refine_horizon_event(Body body, const GeodeticObserver& observer,
                                                             double start_ut1_julian_day, HorizonEventKind event,
                                                             double altitude_deg) const;

  // Position of `body` with `options` (which must ask for the ecliptic of
  // date) and the ayanamsha of `mode` subtracted from its longitude (reduced
  // into [0, 360)) and the ayanamsha rate from its longitude speed. Errors:
  // InvalidRequest "sidereal longitudes require ecliptic of date" before the
  // option rules; then those of `position` and of the conversion to TT.
  std::expected<Position, EphemerisError> sidereal_position(Body body, const Instant& instant,
                                                            const PositionOptions& options, SiderealMode mode) const;

  // Exclusive use of the kernel list for one evaluation. Error (Backend)
  // when another evaluation already holds it (re-entrant use).
  std::expected<KernelCell::Borrow, EphemerisError> borrow_kernels() const;

 private:
  SpkEphemeris(EphemerisMetadata metadata, SupportedRange range, SpkKernel primary);

  EphemerisMetadata metadata_;
  std::optional<LeapSecondKernel> lsk_;
  std::optional<EarthOrientationTable> eop_;
  SupportedRange supported_range_;
  // Evaluation fills caches inside the kernels, also for const requests.
  mutable KernelCell kernels_;
};

// "kernel SHA-256 must contain exactly 64 hexadecimal characters"
inline constexpr std::string_view kBadChecksumMessage = "kernel SHA-256 must contain exactly 64 hexadecimal characters";

}  // namespace ephemeris
