// The optional time kernels of an engine (a leap-second kernel and an Earth
// orientation table) and every time-scale conversion the engine asks of them.
#pragma once

#include <expected>
#include <optional>
#include <utility>

#include "core/errors.h"
#include "core/time_scale.h"
#include "time/earth_orientation.h"
#include "time/leap_second_kernel.h"

namespace ephemeris {

// UT1 and TT Julian days of one instant, for Earth-rotation work.
struct EarthRotationEpochs {
  double ut1_julian_day;
  double tt_julian_day;
};

// Everything a topocentric request asks of the time kernels at one UT1 day.
struct Ut1DayTimes {
  double tdb_seconds;                    // TDB seconds past J2000
  EarthRotationEpochs epochs;            // the UT1 day itself and its TT day
  std::pair<double, double> pole_arcsec; // x, y
};

// Without a leap-second kernel only TT and TDB are served (TDB - TT by the
// standard DELTET constants); with one, UTC too; UT1 also needs the table.
// Every error is a TimeConversion EphemerisError carrying the text of the
// failure underneath.
class TimeKernels {
 public:
  // Replace one kernel; the other is kept.
  void set_leap_second_kernel(LeapSecondKernel kernel) { lsk_ = std::move(kernel); }
  void set_eop(EarthOrientationTable table) { eop_ = std::move(table); }

  const LeapSecondKernel* leap_second_kernel() const { return lsk_ ? &*lsk_ : nullptr; }
  const EarthOrientationTable* eop() const { return eop_ ? &*eop_ : nullptr; }

  // TDB seconds past J2000 of `instant`. Errors: "Julian day must be
  // finite"; without a leap-second kernel, "conversion from Utc to TDB is not
  // implemented" (and Ut1); with one, its conversion errors, and for UT1
  // "UT1 requires an Earth orientation table (DUT1); attach one with
  // SpkEphemeris::with_eop" or the table's errors. A finite day whose
  // seconds overflow the double range is no error: with or without the
  // kernel its result is non-finite, outside every supported range.
  std::expected<double, EphemerisError> tdb_seconds(const Instant& instant) const;

  // TT Julian day of `instant`; a TT instant is returned as it is, finite or
  // not. Errors as tdb_seconds.
  std::expected<double, EphemerisError> tt_julian_day(const Instant& instant) const;

  // The Julian day of `instant` in `target` (the instant's own scale gives
  // its day back unchanged). TT and TDB convert by the DELTET model of the
  // leap-second kernel, or the standard constants without one; UTC and UT1
  // convert to each other through the table alone; between them and TT or
  // TDB the leap-second kernel is needed, and the table for UT1. Errors:
  // "Julian day must be finite"; without the leap-second kernel "conversion
  // from Utc to TDB is not implemented" (Ut1 when UT1 is involved, as the
  // position requests report for such an instant); without the table "UT1
  // requires an Earth orientation table (DUT1); attach one with
  // SpkEphemeris::with_eop"; the kernels' own conversion and coverage errors;
  // and for a TT or TDB instant inside a positive leap second, whose UTC day
  // of 86,400 counted seconds has no Julian day for it, "TT Julian day {}
  // falls inside a leap second, which has no UTC Julian day".
  std::expected<double, EphemerisError> julian_day_in(const Instant& instant, TimeScale target) const;

  // UT1 and TT Julian days of `instant`; needs both kernels. Errors:
  // "topocentric origins require a leap-second kernel; attach one with
  // SpkEphemeris::with_leap_second_kernel", "topocentric origins require an
  // Earth orientation table (DUT1); attach one with SpkEphemeris::with_eop",
  // then the conversion errors of TT, then of UT1.
  std::expected<EarthRotationEpochs, EphemerisError> earth_rotation_epochs(const Instant& instant) const;

  // Pole coordinates (x, y) in arcseconds at the UTC of the UT1 Julian day
  // `ut1_julian_day`; needs the table (the error of earth_rotation_epochs
  // without it). Errors: the table's conversion and coverage errors.
  std::expected<std::pair<double, double>, EphemerisError> polar_motion_arcsec(double ut1_julian_day) const;

  // tdb_seconds and earth_rotation_epochs of the UT1 instant
  // `ut1_julian_day` and polar_motion_arcsec there, each bit for bit what
  // those give, from one conversion of the day to UTC. Absent when any of
  // them fails: asked one by one, they tell their errors in their order.
  std::optional<Ut1DayTimes> ut1_day_times(double ut1_julian_day) const;

 private:
  std::optional<LeapSecondKernel> lsk_;
  std::optional<EarthOrientationTable> eop_;
};

}  // namespace ephemeris
