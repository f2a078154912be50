// Daily Earth orientation (UT1-UTC and the pole) from an IERS EOP 20 C04 table.
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "time/eop_error.h"

namespace ephemeris {

// One day of Earth orientation.
struct EopSample {
  double utc_jd = 0.0;    // UTC Julian date of the sample (MJD + 2400000.5), days
  double dut1 = 0.0;      // UT1 - UTC, seconds
  double x_arcsec = 0.0;  // pole coordinate x, arcseconds
  double y_arcsec = 0.0;  // pole coordinate y, arcseconds

  friend bool operator==(const EopSample&, const EopSample&) = default;
};

// Reads one data line of a C04 table: at least eight whitespace-separated
// fields, of which the 5th (MJD), 6th (x, arcsec), 7th (y, arcsec) and 8th
// (UT1-UTC, s) are decimal numbers; the others are not looked at.
// Errors: InvalidLine(line_number) for fewer fields or a field that is not a
// number; NonFiniteSample when a value (or the resulting date) is not finite.
std::expected<EopSample, EopError> parse_c04_line(std::string_view line, std::uint64_t line_number);

// The samples of one C04 table, strictly increasing in date; immutable once loaded.
class EarthOrientationTable {
 public:
  // Loads the table at `path` with its caller-verified SHA-256 (64 hexadecimal
  // characters, stored in lower case). Checked in this order: the path's file
  // name (InvalidPath), reading the file (Io), the checksum (InvalidSha256),
  // each data line (InvalidLine, NonFiniteSample), then the samples
  // (NoSamples, NonIncreasing).
  static std::expected<EarthOrientationTable, EopError> open(std::string_view path, std::string_view sha256);

  // The same from table text already in memory, recorded under `file_name`;
  // text that is not valid UTF-8 fails with Io.
  static std::expected<EarthOrientationTable, EopError> from_text(std::string_view text, std::string file_name,
                                                                  std::string_view sha256);

  const std::string& file_name() const { return file_name_; }
  const std::string& sha256() const { return sha256_; }
  std::span<const EopSample> samples() const { return samples_; }

  // The sample at a UTC Julian date (days) between the first and the last
  // sample, both included: a sample's own values at its exact date, else the
  // linear interpolation of the two neighbouring samples, dated `utc_jd`.
  // Errors: NonFiniteSample for a NaN or infinite date (or an interpolation
  // that overflows, in a table of absurd values); OutsideCoverage.
  std::expected<EopSample, EopError> interpolated_sample(double utc_jd) const;

  // Pole coordinates (x, y) in arcseconds at a UTC Julian date; errors as interpolated_sample.
  std::expected<std::pair<double, double>, EopError> polar_motion_arcsec(double utc_jd) const;

  // The UTC Julian date whose UT1 is `ut1_jd` (days), by three fixed-point
  // steps on DUT1. Errors: NonFiniteSample; OutsideCoverage with the date of
  // the step that left the table.
  std::expected<double, EopError> utc_julian_day_from_ut1(double ut1_jd) const;

 private:
  EarthOrientationTable() = default;  // only loading makes one: there is always a sample
  static std::expected<EarthOrientationTable, EopError> parse(std::string_view text, std::string file_name,
                                                              std::string_view sha256);

  std::string file_name_;
  std::string sha256_;
  std::vector<EopSample> samples_;
};

}  // namespace ephemeris
