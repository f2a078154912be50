#include "core/text_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <iterator>

namespace ephemeris {
namespace {

// Large enough for the positional form of any double (about 310 integral
// digits, or 767 significant fractional digits of the smallest subnormal).
constexpr std::size_t kNumberBufferSize = 1100;

std::string non_finite_text(double value) {
  if (std::isnan(value)) return "NaN";
  return value < 0 ? "-inf" : "inf";
}

std::string shortest(double value, std::chars_format format) {
  std::array<char, kNumberBufferSize> buffer;
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, format);
  return std::string(buffer.data(), result.ptr);
}

// The shortest digits of `value` placed positionally: "1e+23" becomes
// "100000000000000000000000" (not the exact binary value
// 99999999999999991611392 that the fixed form prints), "2.5e-07" becomes
// "0.00000025".
std::string positional(double value) {
  const std::string scientific = shortest(value, std::chars_format::scientific);
  const auto e = scientific.find('e');
  std::string digits;
  std::string sign;
  for (std::size_t i = 0; i < e; ++i) {
    const char c = scientific[i];
    if (c == '-') {
      sign = "-";
    } else if (c != '.') {
      digits += c;
    }
  }
  int exponent = 0;
  const char* first = scientific.data() + e + 1;
  if (*first == '+') ++first;
  std::from_chars(first, scientific.data() + scientific.size(), exponent);
  // Digits before the decimal point: the exponent of the first digit plus one.
  const long point = static_cast<long>(exponent) + 1;
  const long count = static_cast<long>(digits.size());
  if (point <= 0) return sign + "0." + std::string(static_cast<std::size_t>(-point), '0') + digits;
  if (point >= count) return sign + digits + std::string(static_cast<std::size_t>(point - count), '0');
  return sign + digits.substr(0, static_cast<std::size_t>(point)) + "." + digits.substr(static_cast<std::size_t>(point));
}

// Rewrites "2.5e-07" / "1e+16" as "2.5e-7" / "1e16".
std::string tidy_exponent(const std::string& text) {
  const auto e = text.find('e');
  if (e == std::string::npos) return text;
  std::string out = text.substr(0, e + 1);
  std::size_t i = e + 1;
  if (text[i] == '+') {
    ++i;
  } else if (text[i] == '-') {
    out += '-';
    ++i;
  }
  while (i + 1 < text.size() && text[i] == '0') ++i;
  out += text.substr(i);
  return out;
}

struct CodePointRange {
  char32_t first;
  char32_t last;
};

constexpr CodePointRange kEscapedRanges[] = {
#include "core/unicode_escape_table.inc"
};

bool needs_unicode_escape(char32_t cp) {
  const auto* it = std::upper_bound(std::begin(kEscapedRanges), std::end(kEscapedRanges), cp,
                                    [](char32_t c, const CodePointRange& r) { return c < r.first; });
  if (it == std::begin(kEscapedRanges)) return false;
  --it;
  return cp <= it->last;
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::string format_plain_number(double value) {
  if (!std::isfinite(value)) return non_finite_text(value);
  return positional(value);
}

std::string format_literal_number(double value) {
  if (!std::isfinite(value)) return non_finite_text(value);
  const double magnitude = std::fabs(value);
  if (magnitude != 0.0 && (magnitude < 1e-4 || magnitude >= 1e16)) {
    return tidy_exponent(shortest(value, std::chars_format::scientific));
  }
  std::string text = positional(value);
  if (text.find('.') == std::string::npos) text += ".0";
  return text;
}

int decode_utf8_at(std::string_view s, std::size_t i, char32_t& cp) {
  const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
  const std::uint8_t b0 = byte(i);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  int length;
  std::uint8_t lo = 0x80, hi = 0xBF;  // bounds of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
    cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    cp = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    cp = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return -1;
  }
  for (int k = 1; k < length; ++k) {
    if (i + k >= s.size()) return -k;
    const std::uint8_t b = byte(i + k);
    const std::uint8_t min = k == 1 ? lo : 0x80;
    const std::uint8_t max = k == 1 ? hi : 0xBF;
    if (b < min || b > max) return -k;
    cp = (cp << 6) | (b & 0x3F);
  }
  return length;
}

bool is_unicode_white_space(char32_t cp) {
  return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
         (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F ||
         cp == 0x3000;
}

std::string decode_utf8_lossy(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    char32_t cp = 0;
    const int n = decode_utf8_at(bytes, i, cp);
    if (n > 0) {
      out.append(bytes.substr(i, static_cast<std::size_t>(n)));
      i += static_cast<std::size_t>(n);
    } else {
      out += "\xEF\xBF\xBD";  // U+FFFD
      i += static_cast<std::size_t>(-n);
    }
  }
  return out;
}

bool is_valid_utf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    char32_t cp = 0;
    const int n = decode_utf8_at(bytes, i, cp);
    if (n <= 0) return false;
    i += static_cast<std::size_t>(n);
  }
  return true;
}

std::string quote_text(std::string_view utf8) {
  const std::string text = decode_utf8_lossy(utf8);
  std::string out = "\"";
  std::size_t i = 0;
  while (i < text.size()) {
    char32_t cp = 0;
    const int n = decode_utf8_at(text, i, cp);
    i += static_cast<std::size_t>(n);
    switch (cp) {
      case U'"': out += "\\\""; continue;
      case U'\\': out += "\\\\"; continue;
      case U'\0': out += "\\0"; continue;
      case U'\t': out += "\\t"; continue;
      case U'\n': out += "\\n"; continue;
      case U'\r': out += "\\r"; continue;
      default: break;
    }
    if (needs_unicode_escape(cp)) {
      std::array<char, 8> hex;
      const auto r = std::to_chars(hex.data(), hex.data() + hex.size(), static_cast<std::uint32_t>(cp), 16);
      out += "\\u{";
      out.append(hex.data(), r.ptr);
      out += '}';
    } else {
      append_utf8(out, cp);
    }
  }
  out += '"';
  return out;
}

}  // namespace ephemeris
