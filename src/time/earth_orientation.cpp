#include "time/earth_orientation.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "core/constants.h"
#include "core/text_format.h"
#include "time/checksum_text.h"
#include "time/decimal_number.h"
#include "time/file_name.h"
#include "time/text_file.h"
#include "time/text_scan.h"

namespace ephemeris {
namespace {

// Modified Julian date 0 as a Julian date.
constexpr double kModifiedJulianDayOffset = 2400000.5;

bool same_bits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

// The sample of an MJD and its values, or NonFiniteSample.
std::expected<EopSample, EopError> finite_sample(double mjd, double dut1, double x, double y) {
  const EopSample sample{mjd + kModifiedJulianDayOffset, dut1, x, y};
  if (!std::isfinite(mjd) || !std::isfinite(sample.utc_jd) || !std::isfinite(sample.dut1) ||
      !std::isfinite(sample.x_arcsec) || !std::isfinite(sample.y_arcsec)) {
    return std::unexpected(EopError::of_kind(EopError::Kind::NonFiniteSample));
  }
  return sample;
}

// Columns `first` to `last` (1-based, inclusive) of a fixed-column line, cut
// at its end, without surrounding white space: empty when blank.
std::string_view field(std::string_view line, std::size_t first, std::size_t last) {
  if (line.size() < first) return {};
  return trim_whitespace(line.substr(first - 1, std::min(last, line.size()) - (first - 1)));
}

// Bulletin A columns (1-based, inclusive) as the file's ReadMe gives them.
struct Columns {
  std::size_t first;
  std::size_t last;
};
constexpr Columns kMjd{8, 15};
constexpr Columns kPolarMotionFlag{17, 17};
constexpr Columns kPoleXA{19, 27};
constexpr Columns kPoleYA{38, 46};
constexpr Columns kUt1Flag{58, 58};
constexpr Columns kUt1MinusUtcA{59, 68};
constexpr Columns kPoleXB{135, 144};
constexpr Columns kPoleYB{145, 154};
constexpr Columns kUt1MinusUtcB{155, 165};
constexpr std::size_t kDecimalPointOfMjd = 13;

std::string_view field(std::string_view line, Columns columns) { return field(line, columns.first, columns.last); }

// "I" (measured) gives false, "P" (predicted) true, anything else nothing.
std::optional<bool> predicted_flag(std::string_view flag) {
  if (flag == "I") return false;
  if (flag == "P") return true;
  return std::nullopt;
}

}  // namespace

std::expected<EopSample, EopError> parse_c04_line(std::string_view line, std::uint64_t line_number) {
  // Fields 5 to 8 of the published layout: MJD, x, y, UT1-UTC.
  const auto fields = whitespace_fields(line, 8);
  if (fields.size() < 8) return std::unexpected(EopError::invalid_line(line_number));
  const auto mjd = parse_decimal_number(fields[4]);
  const auto x = parse_decimal_number(fields[5]);
  const auto y = parse_decimal_number(fields[6]);
  const auto dut1 = parse_decimal_number(fields[7]);
  if (!mjd || !x || !y || !dut1) return std::unexpected(EopError::invalid_line(line_number));
  return finite_sample(*mjd, *dut1, *x, *y);
}

bool has_bulletin_a_layout(std::string_view line) {
  if (line.size() < kMjd.last || line[kMjd.first - 2] != ' ' || line[kDecimalPointOfMjd - 1] != '.') return false;
  for (std::size_t i = 0; i + 2 < kMjd.first; ++i) {
    if (line[i] != ' ' && (line[i] < '0' || line[i] > '9')) return false;
  }
  return parse_decimal_number(field(line, kMjd)).has_value();
}

std::expected<BulletinARow, EopError> parse_bulletin_a_line(std::string_view line, std::uint64_t line_number) {
  const auto invalid = [line_number] { return std::unexpected(EopError::invalid_bulletin_a_line(line_number)); };
  const auto mjd = parse_decimal_number(field(line, kMjd));
  if (!mjd) return invalid();
  if (field(line, kMjd.last + 1, line.size()).empty()) return BulletinARow{};  // a date and MJD, no values yet
  const auto pole_flag = predicted_flag(field(line, kPolarMotionFlag));
  const auto ut1_flag = predicted_flag(field(line, kUt1Flag));
  const auto x = parse_decimal_number(field(line, kPoleXA));
  const auto y = parse_decimal_number(field(line, kPoleYA));
  const auto dut1 = parse_decimal_number(field(line, kUt1MinusUtcA));
  if (!pole_flag || !ut1_flag || !x || !y || !dut1) return invalid();
  // Bulletin B values: each blank or a number.
  std::optional<double> b_values[3];
  const Columns b_columns[3] = {kPoleXB, kPoleYB, kUt1MinusUtcB};
  for (std::size_t i = 0; i < 3; ++i) {
    const std::string_view text = field(line, b_columns[i]);
    if (text.empty()) continue;
    b_values[i] = parse_decimal_number(text);
    if (!b_values[i]) return invalid();
  }
  const bool pole_b = b_values[0] && b_values[1];
  auto sample = finite_sample(*mjd, b_values[2] ? *b_values[2] : *dut1, pole_b ? *b_values[0] : *x,
                              pole_b ? *b_values[1] : *y);
  if (!sample) return std::unexpected(std::move(sample.error()));
  return BulletinARow{*sample, *pole_flag, *ut1_flag};
}

std::expected<EarthOrientationTable, EopError> EarthOrientationTable::open(std::string_view path,
                                                                           std::string_view sha256) {
  auto file_name = utf8_file_name(path);
  if (!file_name) return std::unexpected(EopError::of_kind(EopError::Kind::InvalidPath));
  const auto text = read_text_file(path);
  if (!text) return std::unexpected(EopError::io(text.error().text));
  return parse(*text, std::move(*file_name), sha256);
}

std::expected<EarthOrientationTable, EopError> EarthOrientationTable::from_text(std::string_view text,
                                                                                std::string file_name,
                                                                                std::string_view sha256) {
  if (!is_valid_utf8(text)) return std::unexpected(EopError::io(std::string(kInvalidUtf8Text)));
  return parse(text, std::move(file_name), sha256);
}

std::expected<EarthOrientationTable, EopError> EarthOrientationTable::parse(std::string_view text,
                                                                            std::string file_name,
                                                                            std::string_view sha256) {
  if (!is_sha256_text(sha256)) return std::unexpected(EopError::of_kind(EopError::Kind::InvalidSha256));

  EarthOrientationTable table;
  LineCursor lines(text);
  std::string_view line;
  std::uint64_t line_number = 0;
  bool format_known = false;
  bool values_ended = false;  // a Bulletin A row without values was read
  BulletinARow previous;      // flags of the last Bulletin A row with values
  while (lines.next(line)) {
    ++line_number;
    const std::string_view trimmed = trim_whitespace(line);
    if (trimmed.empty() || trimmed.front() == '#') continue;
    if (!format_known) {
      table.format_ = has_bulletin_a_layout(line) ? EopFormat::BulletinA : EopFormat::C04;
      format_known = true;
    }
    if (table.format_ == EopFormat::C04) {
      auto sample = parse_c04_line(trimmed, line_number);
      if (!sample) return std::unexpected(std::move(sample.error()));
      table.samples_.push_back(*sample);
      continue;
    }
    auto row = parse_bulletin_a_line(line, line_number);  // fixed columns: the line as it stands
    if (!row) return std::unexpected(std::move(row.error()));
    if (!row->sample) {
      values_ended = true;
      continue;
    }
    if (values_ended || (previous.polar_motion_predicted && !row->polar_motion_predicted) ||
        (previous.ut1_predicted && !row->ut1_predicted)) {
      return std::unexpected(EopError::invalid_bulletin_a_line(line_number));
    }
    previous = *row;
    table.samples_.push_back(*row->sample);
    if (!row->polar_motion_predicted && !row->ut1_predicted) table.measured_count_ = table.samples_.size();
  }
  if (table.format_ == EopFormat::C04) table.measured_count_ = table.samples_.size();
  if (table.samples_.empty()) return std::unexpected(EopError::of_kind(EopError::Kind::NoSamples));
  for (std::size_t i = 1; i < table.samples_.size(); ++i) {
    if (!(table.samples_[i].utc_jd > table.samples_[i - 1].utc_jd)) {
      return std::unexpected(EopError::of_kind(EopError::Kind::NonIncreasing));
    }
  }
  table.file_name_ = std::move(file_name);
  table.sha256_ = ascii_lower(sha256);
  return table;
}

std::expected<EopSample, EopError> EarthOrientationTable::interpolated_sample(double utc_jd) const {
  if (!std::isfinite(utc_jd)) return std::unexpected(EopError::of_kind(EopError::Kind::NonFiniteSample));
  const double first = samples_.front().utc_jd;
  const double last = samples_.back().utc_jd;
  if (utc_jd < first || utc_jd > last) return std::unexpected(EopError::outside_coverage(utc_jd, first, last));

  // The first sample dated after utc_jd; the dates are strictly increasing.
  const auto after = std::upper_bound(samples_.begin(), samples_.end(), utc_jd,
                                      [](double jd, const EopSample& s) { return jd < s.utc_jd; });
  const EopSample& before = *(after - 1);  // exists: utc_jd >= first
  if (same_bits(before.utc_jd, utc_jd) || after == samples_.end()) return before;

  const double f = (utc_jd - before.utc_jd) / (after->utc_jd - before.utc_jd);
  const auto blend = [f](double v0, double v1) { return std::fma(v0, 1.0 - f, v1 * f); };
  const EopSample sample{utc_jd, blend(before.dut1, after->dut1), blend(before.x_arcsec, after->x_arcsec),
                         blend(before.y_arcsec, after->y_arcsec)};
  // Only a table of absurd dates or values (near the largest double) can
  // overflow here; its result is refused rather than returned.
  if (!std::isfinite(sample.dut1) || !std::isfinite(sample.x_arcsec) || !std::isfinite(sample.y_arcsec)) {
    return std::unexpected(EopError::of_kind(EopError::Kind::NonFiniteSample));
  }
  return sample;
}

std::expected<std::pair<double, double>, EopError> EarthOrientationTable::polar_motion_arcsec(double utc_jd) const {
  const auto sample = interpolated_sample(utc_jd);
  if (!sample) return std::unexpected(sample.error());
  return std::pair{sample->x_arcsec, sample->y_arcsec};
}

std::expected<double, EopError> EarthOrientationTable::utc_julian_day_from_ut1(double ut1_jd) const {
  if (!std::isfinite(ut1_jd)) return std::unexpected(EopError::of_kind(EopError::Kind::NonFiniteSample));
  // The table read at the UT1 date is the first guess of DUT1 at the UTC date.
  auto sample = interpolated_sample(ut1_jd);
  if (!sample) return std::unexpected(sample.error());
  double utc_jd = ut1_jd;
  for (int step = 0; step < 3; ++step) {
    utc_jd = ut1_jd - sample->dut1 / kSecondsPerDay;
    sample = interpolated_sample(utc_jd);
    if (!sample) return std::unexpected(sample.error());
  }
  return utc_jd;
}

}  // namespace ephemeris
