#include "time/text_kernel.h"

#include <array>
#include <limits>

#include "time/decimal_number.h"
#include "time/text_scan.h"

namespace ephemeris::text_kernel {
namespace {

bool is_ascii_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }

bool is_variable_name(std::string_view name) {
  if (name.empty() || !is_ascii_letter(name.front())) return false;
  for (char c : name.substr(1)) {
    if (!is_ascii_letter(c) && !is_ascii_digit(c) && c != '_' && c != '/') return false;
  }
  return true;
}

// Decimal digits after an optional "+", at most `max`; nullopt otherwise.
std::optional<std::uint64_t> parse_unsigned(std::string_view text, std::uint64_t max) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (!is_ascii_digit(c)) return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > max) return std::nullopt;
  }
  return value;
}

// Month 1-12 of a three-letter abbreviation in any letter case.
std::optional<int> parse_month(std::string_view text) {
  constexpr std::array<std::string_view, 12> kMonths = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                        "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  if (text.size() != 3) return std::nullopt;
  std::array<char, 3> upper{};
  for (std::size_t i = 0; i < 3; ++i) {
    const char c = text[i];
    upper[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  const std::string_view name(upper.data(), upper.size());
  for (std::size_t i = 0; i < kMonths.size(); ++i) {
    if (kMonths[i] == name) return static_cast<int>(i) + 1;
  }
  return std::nullopt;
}

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

}  // namespace

std::expected<std::string, LskError> extract_data_sections(std::string_view text) {
  std::string data;
  bool in_data = false;
  bool only_whitespace = true;
  LineCursor lines(text);
  std::string_view line;
  while (lines.next(line)) {
    const std::string_view trimmed = trim_whitespace(line);
    if (trimmed == "\\begindata") {
      in_data = true;
    } else if (trimmed == "\\begintext") {
      in_data = false;
    } else if (in_data) {
      data.append(line);
      data.push_back('\n');
      if (!trimmed.empty()) only_whitespace = false;
    }
  }
  if (only_whitespace) return std::unexpected(LskError::missing_data_section());
  return data;
}

Assignments parse_assignments(std::string_view data) {
  Assignments assignments;
  std::optional<std::string> open_name;
  std::string open_value;
  const auto close_open = [&] {
    if (open_name) assignments.insert_or_assign(std::move(*open_name), std::string(trim_whitespace(open_value)));
    open_name.reset();
    open_value.clear();
  };

  LineCursor lines(data);
  std::string_view raw_line;
  while (lines.next(raw_line)) {
    const std::string_view line = trim_whitespace(raw_line);
    if (line.empty()) continue;
    const auto equals = line.find('=');
    if (equals != std::string_view::npos) {
      const std::string_view name = trim_whitespace(line.substr(0, equals));
      if (is_variable_name(name)) {
        close_open();
        open_name = std::string(name);
        open_value.assign(trim_whitespace(line.substr(equals + 1)));
        open_value.push_back(' ');
        continue;
      }
    }
    if (open_name) {
      open_value.append(line);
      open_value.push_back(' ');
    }
  }
  close_open();
  return assignments;
}

std::vector<std::string_view> value_tokens(std::string_view value) {
  value = trim_whitespace(value);
  while (value.starts_with('(')) value.remove_prefix(1);
  while (value.ends_with(')')) value.remove_suffix(1);

  std::vector<std::string_view> tokens;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < value.size()) {
    std::size_t separator = value[i] == ',' ? 1 : whitespace_length_at(value, i);
    if (separator == 0) {
      ++i;
      continue;
    }
    if (i > start) tokens.push_back(value.substr(start, i - start));
    i += separator;
    start = i;
  }
  if (i > start) tokens.push_back(value.substr(start, i - start));
  return tokens;
}

std::optional<double> parse_number(std::string_view token) {
  std::string text(token);
  for (char& c : text) {
    if (c == 'D' || c == 'd') c = 'E';
  }
  return parse_decimal_number(text);
}

std::expected<double, LskError> parse_date_literal(std::string_view token) {
  const auto invalid = [&] { return std::unexpected(LskError::invalid_date_literal(token)); };
  if (!token.starts_with('@')) return invalid();
  const std::string_view rest = token.substr(1);

  const auto first_dash = rest.find('-');
  if (first_dash == std::string_view::npos) return invalid();
  const auto second_dash = rest.find('-', first_dash + 1);
  if (second_dash == std::string_view::npos) return invalid();
  if (rest.find('-', second_dash + 1) != std::string_view::npos) return invalid();

  const auto year = parse_unsigned(rest.substr(0, first_dash), std::numeric_limits<std::int32_t>::max());
  const auto month = parse_month(rest.substr(first_dash + 1, second_dash - first_dash - 1));
  const auto day = parse_unsigned(rest.substr(second_dash + 1), std::numeric_limits<std::uint32_t>::max());
  if (!year || !month || !day || *day == 0) return invalid();
  return julian_day_number(static_cast<std::int32_t>(*year), *month, static_cast<std::uint32_t>(*day)) - 0.5;
}

double julian_day_number(std::int32_t year, int month, std::uint32_t day) {
  const std::int64_t a = month < 3 ? 1 : 0;
  const std::int64_t y = std::int64_t{year} + 4800 - a;
  const std::int64_t m = std::int64_t{month} + 12 * a - 3;
  const std::int64_t number = std::int64_t{day} + floor_div(153 * m + 2, 5) + 365 * y + floor_div(y, 4) -
                              floor_div(y, 100) + floor_div(y, 400) - 32045;
  return static_cast<double>(number);
}

std::expected<double, LskError> scalar(const Assignments& assignments, std::string_view key) {
  const auto value = raw_value(assignments, key);
  if (!value) return std::unexpected(value.error());
  const auto tokens = value_tokens(*value);
  if (tokens.size() != 1) return std::unexpected(LskError::invalid_value(key, lsk_reason::kExpectedScalar));
  const auto number = parse_number(tokens.front());
  if (!number) return std::unexpected(LskError::invalid_value(key, lsk_reason::kInvalidNumber));
  return *number;
}

std::expected<std::string_view, LskError> raw_value(const Assignments& assignments, std::string_view key) {
  const auto it = assignments.find(key);
  if (it == assignments.end()) return std::unexpected(LskError::missing_keyword(key));
  return std::string_view(it->second);
}

}  // namespace ephemeris::text_kernel
