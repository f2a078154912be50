#include "time/decimal_number.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>

namespace ephemeris {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool equals_ignoring_ascii_case(std::string_view text, std::string_view lower_word) {
  if (text.size() != lower_word.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lower_word[i]) return false;
  }
  return true;
}

// Decimal order of magnitude of a valid, non-zero numeral without sign: the
// power of ten of its first significant digit, saturated far beyond the
// double range so that huge exponents cannot overflow.
std::int64_t decimal_order(std::string_view numeral) {
  constexpr std::int64_t kSaturation = std::int64_t{1} << 40;
  const auto exponent_mark = numeral.find_first_of("eE");
  const std::string_view mantissa = numeral.substr(0, exponent_mark);
  std::int64_t exponent = 0;
  if (exponent_mark != std::string_view::npos) {
    std::string_view digits = numeral.substr(exponent_mark + 1);
    bool negative = false;
    if (digits.front() == '+' || digits.front() == '-') {
      negative = digits.front() == '-';
      digits.remove_prefix(1);
    }
    for (char c : digits) {
      exponent = std::min(exponent * 10 + (c - '0'), kSaturation);
    }
    if (negative) exponent = -exponent;
  }
  const auto point = mantissa.find('.');
  const std::size_t integer_digits = point == std::string_view::npos ? mantissa.size() : point;
  const auto first_significant = mantissa.find_first_of("123456789");
  if (first_significant == std::string_view::npos) return 0;  // zero is never out of range
  // The digit at mantissa index i has the power integer_digits - 1 - i (one
  // less after the decimal point, whose own index is skipped).
  auto index = static_cast<std::int64_t>(first_significant);
  std::int64_t power = static_cast<std::int64_t>(integer_digits) - 1 - index;
  if (point != std::string_view::npos && first_significant > point) power += 1;
  return power + exponent;
}

// True when `text` (without sign) is digits with an optional point and exponent.
bool is_decimal_numeral(std::string_view text) {
  std::size_t i = 0;
  std::size_t mantissa_digits = 0;
  while (i < text.size() && is_digit(text[i])) ++i, ++mantissa_digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && is_digit(text[i])) ++i, ++mantissa_digits;
  }
  if (mantissa_digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t exponent_digits = 0;
    while (i < text.size() && is_digit(text[i])) ++i, ++exponent_digits;
    if (exponent_digits == 0) return false;
  }
  return i == text.size();
}

}  // namespace

std::optional<double> parse_decimal_number(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  const double sign = negative ? -1.0 : 1.0;
  if (equals_ignoring_ascii_case(text, "inf") || equals_ignoring_ascii_case(text, "infinity")) {
    return sign * std::numeric_limits<double>::infinity();
  }
  if (equals_ignoring_ascii_case(text, "nan")) {
    return std::copysign(std::numeric_limits<double>::quiet_NaN(), sign);
  }
  if (!is_decimal_numeral(text)) return std::nullopt;

  double value = 0.0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    value = decimal_order(text) > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  } else if (result.ec != std::errc{} || result.ptr != text.data() + text.size()) {
    return std::nullopt;
  }
  return sign * value;
}

}  // namespace ephemeris
