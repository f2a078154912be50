// The error of loading or querying an Earth orientation table, and its messages.
#pragma once

#include <cstdint>
#include <string>

namespace ephemeris {

struct EopError {
  enum class Kind : std::uint8_t {
    Io,               // the file could not be read; `io_text` is the read error's text
    InvalidPath,      // the path has no final component, or it is not UTF-8
    InvalidSha256,    // the checksum is not 64 hexadecimal characters
    NoSamples,        // the table holds no data line
    NonIncreasing,    // sample dates are not strictly increasing
    InvalidLine,      // C04 data line `line_number` (from 1) cannot be read
    InvalidBulletinALine,  // Bulletin A data line `line_number` (from 1) cannot be read
    NonFiniteSample,  // a date, DUT1 or pole value (or a query date) is NaN or infinite
    OutsideCoverage,  // `utc_jd` lies outside [`first_jd`, `last_jd`]
  };

  Kind kind = Kind::Io;
  std::string io_text;
  std::uint64_t line_number = 0;
  double utc_jd = 0.0;
  double first_jd = 0.0;
  double last_jd = 0.0;

  static EopError io(std::string read_error) { return {Kind::Io, std::move(read_error), 0, 0.0, 0.0, 0.0}; }
  static EopError of_kind(Kind kind) { return {kind, {}, 0, 0.0, 0.0, 0.0}; }
  static EopError invalid_line(std::uint64_t line_number) {
    return {Kind::InvalidLine, {}, line_number, 0.0, 0.0, 0.0};
  }
  static EopError invalid_bulletin_a_line(std::uint64_t line_number) {
    return {Kind::InvalidBulletinALine, {}, line_number, 0.0, 0.0, 0.0};
  }
  static EopError outside_coverage(double utc_jd, double first_jd, double last_jd) {
    return {Kind::OutsideCoverage, {}, 0, utc_jd, first_jd, last_jd};
  }

  friend bool operator==(const EopError&, const EopError&) = default;
};

// "invalid IERS EOP 20 C04 line {n}", "invalid IERS Bulletin A line {n}", "UTC Julian day {jd} is outside EOP coverage [{first}, {last}]", ...
std::string message(const EopError& error);

}  // namespace ephemeris
