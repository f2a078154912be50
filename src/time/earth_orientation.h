// Daily Earth orientation (UT1-UTC and the pole) from an IERS EOP 20 C04 table
// or an IERS Bulletin A table (finals2000A.all, .data, .daily), whose later
// rows are predictions.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
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

// The formats a table is read in.
enum class EopFormat : std::uint8_t {
  C04,        // IERS EOP 20 C04: whitespace-separated fields, every row measured
  BulletinA,  // IERS Bulletin A, fixed columns: measured rows, then predictions
};

// One data line of a Bulletin A table.
struct BulletinARow {
  std::optional<EopSample> sample;      // absent when the row holds a date and MJD but no values yet
  bool polar_motion_predicted = false;  // flag "P" (not "I") in column 17
  bool ut1_predicted = false;           // flag "P" (not "I") in column 58

  friend bool operator==(const BulletinARow&, const BulletinARow&) = default;
};

// True when `line` has the fixed Bulletin A layout where a table's format is
// recognised: columns 1-6 (two-digit year, month, day) digits or blanks,
// column 7 blank and columns 8-15 a number with its decimal point in column 13
// (the MJD, F8.2). A C04 line, which begins with a four-digit year followed by
// blanks, never does.
bool has_bulletin_a_layout(std::string_view line);

// Reads one data line of a Bulletin A table at its fixed columns (1-based;
// columns past the end of a short line are blank; the date in columns 1-6 and
// the errors, LOD and nutation columns are not read): the MJD in 8-15, the
// polar-motion flag in 17 ("I" measured, "P" predicted), x and y (arcsec) in
// 19-27 and 38-46, the UT1-UTC flag in 58 and UT1-UTC (s) in 59-68; and the
// Bulletin B values where they stand, x and y in 135-144 and 145-154, UT1-UTC
// in 155-165. As astropy's IERS_A reads the file, the sample takes UT1-UTC
// from Bulletin B when it is given, and the pole from Bulletin B when both of
// its coordinates are given, from Bulletin A otherwise. A row blank after
// column 15 holds no values (the file's last rows, dated beyond the
// predictions). Errors: InvalidBulletinALine(line_number) for an MJD that is no
// number, a flag other than "I" or "P", a Bulletin A value missing or no
// number, or a Bulletin B field neither blank nor a number; NonFiniteSample as
// parse_c04_line.
std::expected<BulletinARow, EopError> parse_bulletin_a_line(std::string_view line, std::uint64_t line_number);

// The samples of one table, strictly increasing in date; immutable once loaded.
class EarthOrientationTable {
 public:
  // Loads the table at `path` with its caller-verified SHA-256 (64 hexadecimal
  // characters, stored in lower case). Checked in this order: the path's file
  // name (InvalidPath), reading the file (Io), the checksum (InvalidSha256),
  // each data line (InvalidLine or InvalidBulletinALine, NonFiniteSample),
  // then the samples (NoSamples, NonIncreasing).
  //
  // Lines end at LF (a CR before it is dropped) and are numbered from 1;
  // lines blank or starting with "#" (after white space) are skipped. The
  // first data line decides the format: Bulletin A when it has that layout
  // (has_bulletin_a_layout), C04 otherwise, and every data line is read in
  // that format. In a Bulletin A table the rows without values end the table:
  // a row with values after one of them is an invalid line, and so is a row
  // whose polar-motion or UT1-UTC flag is "I" after a row where it was "P".
  // The measured samples are those before the first row with either flag
  // "P"; every sample of a C04 table is measured.
  static std::expected<EarthOrientationTable, EopError> open(std::string_view path, std::string_view sha256);

  // The same from table text already in memory, recorded under `file_name`;
  // text that is not valid UTF-8 fails with Io.
  static std::expected<EarthOrientationTable, EopError> from_text(std::string_view text, std::string file_name,
                                                                  std::string_view sha256);

  const std::string& file_name() const { return file_name_; }
  const std::string& sha256() const { return sha256_; }
  std::span<const EopSample> samples() const { return samples_; }
  EopFormat format() const { return format_; }

  // The leading samples that are measured, not predicted (all of a C04 table).
  std::span<const EopSample> measured_samples() const {
    return std::span<const EopSample>(samples_).first(measured_count_);
  }

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
  EopFormat format_ = EopFormat::C04;
  std::size_t measured_count_ = 0;
};

}  // namespace ephemeris
