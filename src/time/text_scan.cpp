#include "time/text_scan.h"

#include "core/text_format.h"

namespace ephemeris {
namespace {

// The longest white-space character in UTF-8 (U+1680, U+2000..U+3000), bytes.
constexpr std::size_t kLongestWhitespaceBytes = 3;

// Byte length of the whitespace character that ends just before `text[end]`, or 0.
std::size_t whitespace_length_before(std::string_view text, std::size_t end) {
  for (std::size_t n = 1; n <= kLongestWhitespaceBytes && n <= end; ++n) {
    if (whitespace_length_at(text, end - n) == n) return n;
  }
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
  char32_t code_point = 0;
  const int length = decode_utf8_at(text, index, code_point);
  if (length <= 0 || !is_unicode_white_space(code_point)) return 0;
  return static_cast<std::size_t>(length);
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
