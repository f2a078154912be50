// The ephemeris engine: the opened SPK kernels, the optional time kernels, the
// provenance record and the supported range, and the position requests.
#pragma once

#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/backend.h"
#include "core/cartesian_state.h"
#include "core/errors.h"
#include "core/metadata.h"
#include "core/observer.h"
#include "core/time_scale.h"
#include "engine/interrupt_check.h"
#include "engine/kernel_cell.h"
#include "spk/spk_kernel.h"
#include "time/earth_orientation.h"
#include "time/leap_second_kernel.h"
#include "time/time_kernels.h"

namespace ephemeris {

// A site turned into the GCRS at one instant: its geocentric state and the
// Earth-rotation quantities it was turned with, for searches that need the
// sidereal time of the same instant.
struct SiteAtInstant {
  CartesianState gcrs_state;                    // km, km/s
  EarthRotationEpochs epochs;                   // UT1 and TT Julian days of the instant
  double greenwich_apparent_sidereal_time_rad;  // radians, [0, 2 pi)
};

// Inclusive coverage of the engine, TDB Julian days.
struct SupportedRange {
  double start_julian_day = 0.0;
  double end_julian_day = 0.0;
  TimeScale time_scale = TimeScale::Tdb;
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
  // The attached time kernels and the time-scale conversions they serve.
  const TimeKernels& time_kernels() const { return time_; }

  // TDB seconds past J2000 of `instant`, tested against the supported range.
  std::expected<double, EphemerisError> tdb_seconds(const Instant& instant) const;
  // Geocentric GCRS position (km) and velocity (km/s) of a site at `instant`.
  std::expected<CartesianState, EphemerisError> observer_gcrs_state(const GeodeticObserver& observer,
                                                                     const Instant& instant) const;
  // The same with the UT1 and TT days and the apparent sidereal time used.
  std::expected<SiteAtInstant, EphemerisError> site_at(const GeodeticObserver& observer,
                                                       const Instant& instant) const;

  std::expected<Position, EphemerisError> position(Body body, const Instant& instant,
                                                   const PositionOptions& options) const override;
  // position() of each of `bodies` at one instant, into `out` (as many as
  // bodies; each bit for bit what position() gives), with the instant
  // converted, the site turned and the output frame built once for all.
  // With `site` given and a topocentric origin, it receives the site as
  // turned. Errors: those of position(), for the bodies in order.
  std::expected<void, EphemerisError> positions_at_instant(std::span<const Body> bodies, const Instant& instant,
                                                           const PositionOptions& options, std::span<Position> out,
                                                           SiteAtInstant* site = nullptr) const;
  // Each position bit for bit position()'s. Errors: the options', the
  // bodies' (before any instant), the instants' conversions in order, then
  // the error position() gives for the first failing (instant, body) pair in
  // batch order.
  std::expected<std::vector<Position>, EphemerisError> positions(std::span<const Body> bodies,
                                                                 std::span<const Instant> instants,
                                                                 const PositionOptions& options) const override;
  // The same batch, polling `interrupt` every few milliseconds of work
  // (instant conversions, corrected positions, groups of instants on the
  // uncorrected path); a stop returns
  // EphemerisError::interrupted(). The results are those of the batch
  // without a check, bit for bit.
  std::expected<std::vector<Position>, EphemerisError> positions(std::span<const Body> bodies,
                                                                 std::span<const Instant> instants,
                                                                 const PositionOptions& options,
                                                                 InterruptCheck interrupt) const;
  // The same batch written into room the caller gives (a NumPy array's
  // data, say) instead of a new vector: `room(context, count)` is called
  // once, after the options, bodies and instants are checked and before any
  // position is computed, and returns space for `count` positions (it need
  // not be initialised). An empty span for count > 0 stops the batch with
  // EphemerisError::interrupted() (the giver records why). On an error the
  // room holds no meaningful values.
  struct Room {
    std::span<Position> (*give)(void* context, std::size_t count);
    void* context;
  };
  std::expected<void, EphemerisError> positions(std::span<const Body> bodies, std::span<const Instant> instants,
                                                const PositionOptions& options, InterruptCheck interrupt,
                                                Room room) const;

  // Exclusive use of the kernel list for one evaluation. Error (Backend)
  // when another evaluation already holds it (re-entrant use).
  std::expected<KernelCell::Borrow, EphemerisError> borrow_kernels() const;

 private:
  SpkEphemeris(EphemerisMetadata metadata, SupportedRange range, SpkKernel primary);

  // `seconds` (the TDB seconds of `instant`) tested against the supported range.
  std::expected<double, EphemerisError> in_supported_range(const Instant& instant, double seconds) const;
  // The site turned at the converted `epochs` with the pole `pole_arcsec`.
  static std::expected<SiteAtInstant, EphemerisError> turn_site(const GeodeticObserver& observer,
                                                                const EarthRotationEpochs& epochs,
                                                                std::pair<double, double> pole_arcsec);

  EphemerisMetadata metadata_;
  TimeKernels time_;
  SupportedRange supported_range_;
  // Evaluation fills caches inside the kernels, also for const requests.
  mutable KernelCell kernels_;
};

// "kernel SHA-256 must contain exactly 64 hexadecimal characters"
inline constexpr std::string_view kBadChecksumMessage = "kernel SHA-256 must contain exactly 64 hexadecimal characters";

}  // namespace ephemeris
