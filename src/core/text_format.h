// Text forms of numbers and strings used by every message and repr.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ephemeris {

// Shortest decimal that reads back to the same double, positional, no exponent,
// no decimal point when integral: 2451545, 0.0000001, -0, NaN, inf, -inf. The
// shortest digits are padded with zeros, so 1e23 prints as
// 100000000000000000000000, not as its exact binary value.
std::string format_plain_number(double value);

// The same digits, but an integral value keeps ".0", and a magnitude that is
// non-zero and below 1e-4, or at least 1e16, uses exponent form without plus
// sign or leading zeros: 2451545.0, -0.0, 1e-5, 2.5e-7, 1e16; NaN, inf, -inf.
std::string format_literal_number(double value);

// Length of the well-formed UTF-8 sequence at `text[index]` (index below
// text.size()), with its code point in `code_point`; when the bytes there are
// ill-formed, the length of their maximal invalid prefix negated (at least -1).
int decode_utf8_at(std::string_view text, std::size_t index, char32_t& code_point);

// True for the code points with the Unicode White_Space property: U+0009 to
// U+000D, U+0020, U+0085, U+00A0, U+1680, U+2000 to U+200A, U+2028, U+2029,
// U+202F, U+205F and U+3000.
bool is_unicode_white_space(char32_t code_point);

// Decodes UTF-8, replacing each maximal invalid subsequence with U+FFFD.
std::string decode_utf8_lossy(std::string_view bytes);

// True when `bytes` is well-formed UTF-8.
bool is_valid_utf8(std::string_view bytes);

// The (valid UTF-8) text between double quotes with `"` and `\` escaped by a
// backslash; NUL, tab, line feed, carriage return as \0 \t \n \r; every other
// control, non-printable or combining character as \u{hex}; the rest unchanged.
std::string quote_text(std::string_view utf8);

}  // namespace ephemeris
