#include "time/text_scan.h"

#include <array>

namespace ephemeris {
namespace {

// The multi-byte members of Unicode White_Space, as UTF-8: U+0085, U+00A0,
// U+1680, U+2000..U+200A, U+2028, U+2029, U+202F, U+205F, U+3000.
constexpr std::array<std::string_view, 18> kMultiByteWhitespace = {
    "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82",
    "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88",
    "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F",
};
constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";

bool is_ascii_whitespace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Byte length of the whitespace character that ends just before `text[end]`, or 0.
std::size_t whitespace_length_before(std::string_view text, std::size_t end) {
  if (end == 0) return 0;
  if (is_ascii_whitespace(text[end - 1])) return 1;
  const std::string_view head = text.substr(0, end);
  for (std::string_view ws : kMultiByteWhitespace) {
    if (head.ends_with(ws)) return ws.size();
  }
  if (head.ends_with(kIdeographicSpace)) return kIdeographicSpace.size();
  return 0;
}

}  // namespace

bool LineCursor::next(std::string_view& line) {
  if (rest_.empty()) return false;
  const auto newline = rest_.find('\n');
  if (newline == std::string_view::npos) {
    line = rest_;
    rest_ = {};
    return true;
  }
  line = rest_.substr(0, newline);
  if (line.ends_with('\r')) line.remove_suffix(1);
  rest_.remove_prefix(newline + 1);
  return true;
}

std::size_t whitespace_length_at(std::string_view text, std::size_t index) {
  if (index >= text.size()) return 0;
  const char c = text[index];
  if (is_ascii_whitespace(c)) return 1;
  if (static_cast<unsigned char>(c) < 0xC2) return 0;  // ASCII, continuation or invalid lead byte
  const std::string_view tail = text.substr(index);
  for (std::string_view ws : kMultiByteWhitespace) {
    if (tail.starts_with(ws)) return ws.size();
  }
  if (tail.starts_with(kIdeographicSpace)) return kIdeographicSpace.size();
  return 0;
}

std::string_view trim_whitespace(std::string_view text) {
  std::size_t begin = 0;
  while (const std::size_t n = whitespace_length_at(text, begin)) begin += n;
  std::size_t end = text.size();
  while (end > begin) {
    const std::size_t n = whitespace_length_before(text, end);
    if (n == 0 || end - n < begin) break;
    end -= n;
  }
  return text.substr(begin, end - begin);
}

std::vector<std::string_view> whitespace_fields(std::string_view text, std::size_t max_fields) {
  std::vector<std::string_view> fields;
  std::size_t i = 0;
  while (fields.size() < max_fields) {
    while (const std::size_t n = whitespace_length_at(text, i)) i += n;
    if (i >= text.size()) break;
    const std::size_t start = i;
    while (i < text.size() && whitespace_length_at(text, i) == 0) ++i;
    fields.push_back(text.substr(start, i - start));
  }
  return fields;
}

}  // namespace ephemeris
