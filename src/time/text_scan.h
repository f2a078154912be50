// Line and whitespace scanning shared by the text-kernel and C04 readers.
// Whitespace is Unicode White_Space; bytes that are not well-formed UTF-8 are
// never whitespace, so every function is safe on arbitrary bytes.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace ephemeris {

// Walks a text line by line. Lines end at LF; a CR directly before the LF is
// not part of the line; a last line without LF counts as a line, so "a\nb"
// and "a\nb\n" both hold two lines and "" holds none.
class LineCursor {
 public:
  explicit LineCursor(std::string_view text) : rest_(text) {}

  // Stores the next line in `line` and returns true, or returns false at the end.
  bool next(std::string_view& line);

 private:
  std::string_view rest_;
};

// Byte length of the whitespace character starting at `text[index]`, or 0.
std::size_t whitespace_length_at(std::string_view text, std::size_t index);

// `text` without leading and trailing whitespace.
std::string_view trim_whitespace(std::string_view text);

// The first `max_fields` non-empty pieces of `text` between runs of
// whitespace; the scan stops once they are found.
std::vector<std::string_view> whitespace_fields(std::string_view text, std::size_t max_fields);

}  // namespace ephemeris
