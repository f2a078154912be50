// A NAIF leap-second kernel: the TAI-UTC steps, TT-TAI and the TDB-TT model,
// with the conversions between UTC, TT and TDB built on them (UT1 also needs
// an Earth orientation table: see time/time_kernels.h).
#pragma once

#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/time_scale.h"
#include "time/lsk_error.h"
#include "time/tdb_model.h"
#include "time/utc_conversion_error.h"

namespace ephemeris {

// One step of the leap-second table.
struct LeapSecondEntry {
  double delta_at = 0.0;      // TAI - UTC from this date on, seconds
  double effective_jd = 0.0;  // UTC Julian date (0h) of the first day it applies
  friend bool operator==(const LeapSecondEntry&, const LeapSecondEntry&) = default;
};

// The contents of a leap-second kernel; immutable once loaded.
class LeapSecondKernel {
 public:
  // Loads the kernel at `path` with its caller-verified SHA-256 (64
  // hexadecimal characters, stored in lower case). Checked in this order: the
  // path's file name (InvalidPath), reading the file as UTF-8 (Io), the
  // checksum (InvalidSha256), then the kernel text: data sections,
  // DELTET/DELTA_T_A, DELTET/K, DELTET/EB, DELTET/M, DELTET/DELTA_AT.
  static std::expected<LeapSecondKernel, LskError> open(std::string_view path, std::string_view sha256);

  // The same from kernel text already in memory, recorded under `file_name`;
  // text that is not valid UTF-8 fails with Io.
  static std::expected<LeapSecondKernel, LskError> from_text(std::string_view text, std::string file_name,
                                                             std::string_view sha256);

  const std::string& file_name() const { return file_name_; }
  const std::string& sha256() const { return sha256_; }
  // At least one entry, strictly ascending in effective date, in file order.
  std::span<const LeapSecondEntry> entries() const { return entries_; }
  double delta_t_a() const { return delta_t_a_; }  // TT - TAI, seconds
  double k() const { return k_; }                  // amplitude of TDB - TT, seconds
  double eb() const { return eb_; }                // eccentricity of the Earth-Moon barycentre orbit
  double m0() const { return m0_; }                // mean anomaly at J2000, radians
  double m1() const { return m1_; }                // mean anomaly rate, radians per second
  TdbModel tdb_model() const { return {k_, eb_, m0_, m1_}; }

  // TDB - TT in seconds (within +-0.0017) at `tt_seconds` TT seconds past
  // J2000, by the DELTET model: K sin E with E = M + EB sin M and
  // M = M0 + M1 * TDB seconds, TDB found by fixed-point steps from TDB = TT.
  // Unrounded by the epoch: tdb_seconds(Tt, jd) is tt_seconds plus this
  // offset, rounded once to the resolution of the epoch.
  double tdb_minus_tt_seconds(double tt_seconds) const;

  // TDB seconds past J2000 (Julian date 2451545.0) of Julian date `jd` in
  // `scale`. UTC uses the leap-second table, TT the TDB-TT model, TDB none.
  // Errors: TimeConversion for a non-finite date or result and for UT1
  // (Unsupported); BeforeFirstLeapSecond for UTC before the table.
  std::expected<double, UtcConversionError> tdb_seconds(TimeScale scale, double jd) const;

  // TT Julian date of `jd` in `scale`. UT1 fails with MissingEarthOrientation
  // (after the finiteness check).
  std::expected<double, UtcConversionError> tt_julian_day(TimeScale scale, double jd) const;

  // UTC Julian date of `jd` in `scale`; from TT and TDB by three fixed-point
  // steps on the leap-second table. UT1 fails as for tt_julian_day.
  std::expected<double, UtcConversionError> utc_julian_day(TimeScale scale, double jd) const;

  // TAI - UTC in seconds at UTC Julian date `utc_jd`, or BeforeFirstLeapSecond.
  std::expected<double, UtcConversionError> delta_at(double utc_jd) const;

 private:
  LeapSecondKernel() = default;  // only loading makes one: there is always an entry
  static std::expected<LeapSecondKernel, LskError> parse(std::string_view text, std::string file_name,
                                                         std::string_view sha256);

  std::string file_name_;
  std::string sha256_;
  std::vector<LeapSecondEntry> entries_;
  double delta_t_a_ = 0.0;
  double k_ = 0.0;
  double eb_ = 0.0;
  double m0_ = 0.0;
  double m1_ = 0.0;
};

}  // namespace ephemeris
