#include "core/text_format.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace ephemeris {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(PlainNumber, ShortestPositional) {
  EXPECT_EQ(format_plain_number(2451545.0), "2451545");
  EXPECT_EQ(format_plain_number(2451545.25), "2451545.25");
  EXPECT_EQ(format_plain_number(1e-7), "0.0000001");
  EXPECT_EQ(format_plain_number(0.1), "0.1");
  EXPECT_EQ(format_plain_number(-0.0), "-0");
  EXPECT_EQ(format_plain_number(1e20), "100000000000000000000");
  EXPECT_EQ(format_plain_number(std::nan("")), "NaN");
  EXPECT_EQ(format_plain_number(-std::nan("")), "NaN");
  EXPECT_EQ(format_plain_number(kInf), "inf");
  EXPECT_EQ(format_plain_number(-kInf), "-inf");
}

TEST(PlainNumber, ExtremesFitAndReadBack) {
  const double tiny = std::numeric_limits<double>::denorm_min();
  const double huge = std::numeric_limits<double>::max();
  EXPECT_EQ(std::stod(format_plain_number(huge)), huge);
  EXPECT_EQ(format_plain_number(tiny).substr(0, 4), "0.00");
  EXPECT_EQ(format_plain_number(tiny).back(), '5');
}

TEST(LiteralNumber, KeepsFractionAndUsesExponentOutsideRange) {
  EXPECT_EQ(format_literal_number(2451545.0), "2451545.0");
  EXPECT_EQ(format_literal_number(0.0), "0.0");
  EXPECT_EQ(format_literal_number(-0.0), "-0.0");
  EXPECT_EQ(format_literal_number(0.25), "0.25");
  EXPECT_EQ(format_literal_number(1e-4), "0.0001");
  EXPECT_EQ(format_literal_number(1e-5), "1e-5");
  EXPECT_EQ(format_literal_number(2.5e-7), "2.5e-7");
  EXPECT_EQ(format_literal_number(1e16), "1e16");
  EXPECT_EQ(format_literal_number(2.5e17), "2.5e17");
  EXPECT_EQ(format_literal_number(-1e300), "-1e300");
  EXPECT_EQ(format_literal_number(9999999999999998.0), "9999999999999998.0");
  EXPECT_EQ(format_literal_number(std::nan("")), "NaN");
  EXPECT_EQ(format_literal_number(-kInf), "-inf");
}

TEST(QuoteText, EscapesLikeADebugString) {
  EXPECT_EQ(quote_text("NAIF/DAF"), "\"NAIF/DAF\"");
  EXPECT_EQ(quote_text("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(quote_text(std::string_view("\0\t\n\r", 4)), "\"\\0\\t\\n\\r\"");
  EXPECT_EQ(quote_text("it's"), "\"it's\"");
  EXPECT_EQ(quote_text("\x01\x7f"), "\"\\u{1}\\u{7f}\"");
  EXPECT_EQ(quote_text("e\xCC\x81"), "\"e\\u{301}\"");           // combining acute accent
  EXPECT_EQ(quote_text("\xE2\x80\x8B"), "\"\\u{200b}\"");        // zero-width space (Cf)
  EXPECT_EQ(quote_text("\xC3\xA9 \xE2\x98\x89"), "\"\xC3\xA9 \xE2\x98\x89\"");  // printable stays
}

TEST(QuoteText, InvalidUtf8BecomesReplacementCharacters) {
  EXPECT_EQ(quote_text("A\xFF" "B"), "\"A\xEF\xBF\xBD" "B\"");
  // A truncated three-byte sequence is one maximal invalid subpart.
  EXPECT_EQ(decode_utf8_lossy("\xE2\x98"), "\xEF\xBF\xBD");
  EXPECT_EQ(decode_utf8_lossy("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // surrogate
  EXPECT_FALSE(is_valid_utf8("\xC0\xAF"));
  EXPECT_TRUE(is_valid_utf8("\xF0\x9F\x8C\x95"));
}

}  // namespace
}  // namespace ephemeris
