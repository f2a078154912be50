// Strict decimal floating-point parsing for the text tables.
#pragma once

#include <optional>
#include <string_view>

namespace ephemeris {

// Parses the whole of `text` as a decimal number: an optional sign, digits
// with an optional decimal point (digits on at least one side), and an
// optional exponent ("e" or "E", optional sign, digits); or one of the words
// "inf", "infinity", "nan" in any letter case after an optional sign. No
// surrounding whitespace, no hexadecimal form. The result is correctly
// rounded; magnitudes beyond the double range give an infinity, those below
// it a (signed) zero. Anything else gives nullopt.
std::optional<double> parse_decimal_number(std::string_view text);

}  // namespace ephemeris
