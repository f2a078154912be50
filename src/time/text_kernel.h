// The subset of the NAIF text-kernel language that leap-second kernels use:
// \begindata / \begintext sections, "name = value" assignments continued over
// several lines, numbers with Fortran "D" exponents and @YYYY-MON-DD dates.
// Every step works on text alone; none reads a file.
#pragma once

#include <cstdint>
#include <expected>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "time/lsk_error.h"

namespace ephemeris::text_kernel {

// Variable name -> value text, both exactly as assigned (names are case-sensitive).
using Assignments = std::map<std::string, std::string, std::less<>>;

// The lines inside \begindata ... \begintext sections, each followed by LF.
// Marker lines are recognised after trimming whitespace and are dropped, as
// is everything outside a data section. Error: MissingDataSection when the
// result holds nothing but whitespace.
std::expected<std::string, LskError> extract_data_sections(std::string_view text);

// Collects the assignments of `data`: a line "name = value" opens a variable
// (the name starts with an ASCII letter and continues with letters, digits,
// "_" or "/"); every following line that opens none is appended to its value,
// lines joined by one space. A name assigned twice keeps its later value.
// Lines before the first assignment are ignored.
Assignments parse_assignments(std::string_view data);

// The tokens of a value: outer "(" and ")" removed, then split at commas and
// whitespace, empty pieces dropped. The views point into `value`.
std::vector<std::string_view> value_tokens(std::string_view value);

// A decimal number whose exponent may be written with "D" or "d" (Fortran):
// "1.99096871D-7" is 1.99096871e-7. nullopt when the token is not a number.
std::optional<double> parse_number(std::string_view token);

// Julian date of 0h on the day of a NAIF date literal "@YYYY-MON-DD"
// ("@1972-JAN-1" gives 2441317.5). The month is three letters in any case;
// the day (1 to 4294967295) may pass the month's end and is carried into the
// following months. Error: InvalidDateLiteral carrying the token.
std::expected<double, LskError> parse_date_literal(std::string_view token);

// Day number of a proleptic Gregorian date (month 1-12; day and year as
// parsed from a date literal), the Julian date of noon on that day.
double julian_day_number(std::int32_t year, int month, std::uint32_t day);

// The single number assigned to `key`. Errors: MissingKeyword, or
// InvalidValue with "expected a single scalar value" / "value is not a valid number".
std::expected<double, LskError> scalar(const Assignments& assignments, std::string_view key);

// The value text assigned to `key`. Error: MissingKeyword.
std::expected<std::string_view, LskError> raw_value(const Assignments& assignments, std::string_view key);

}  // namespace ephemeris::text_kernel
