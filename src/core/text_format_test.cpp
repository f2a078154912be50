// Text forms of numbers and strings, and the messages of the core errors.
#include "core/text_format.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "core/errors.h"

namespace ephemeris {
namespace {

TEST(NumberText, PlainAndLiteralForms) {
  for (const auto& [value, plain, literal] :
       {std::tuple<double, const char*, const char*>{2451545.0, "2451545", "2451545.0"}, {1e-4, "0.0001", "0.0001"},
        {2451545.25, "2451545.25", "2451545.25"}, {2.5e-7, "0.00000025", "2.5e-7"}, {0.0, "0", "0.0"},
        {-0.0, "-0", "-0.0"}, {9999999999999998.0, "9999999999999998", "9999999999999998.0"},
        {1e16, "10000000000000000", "1e16"}, {1e23, "100000000000000000000000", "1e23"},
        {0x1p70, "1180591620717411300000", "1.1805916207174113e21"}, {-1e300, nullptr, "-1e300"}, {-NAN, "NaN", "NaN"},
        {INFINITY, "inf", "inf"}, {-INFINITY, "-inf", "-inf"}}) {
    EXPECT_EQ(plain ? format_plain_number(value) : "-", plain ? plain : "-") << literal;
    EXPECT_EQ(format_literal_number(value), literal);
  }
  constexpr double kHuge = std::numeric_limits<double>::max();  // the extremes fit and read back
  EXPECT_EQ(std::stod(format_plain_number(kHuge)), kHuge);
  const std::string tiny = format_plain_number(std::numeric_limits<double>::denorm_min());
  EXPECT_EQ(tiny.substr(0, 4) + tiny.back(), "0.005");
}

TEST(Utf8, ValidityAndReplacementOfEachMaximalInvalidSubpart) {
  const std::string_view valid = "\xF0\x9F\x8C\x95\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF4\x8F\xBF\xBF";
  EXPECT_TRUE(is_valid_utf8(valid) && decode_utf8_lossy(valid) == valid);
  EXPECT_EQ(decode_utf8_lossy("A\xFF" "B\xE2\x82" "C"), "A\uFFFD" "B\uFFFD" "C");
  const std::string_view replacements = "\uFFFD\uFFFD\uFFFD\uFFFD";  // U+FFFD is three bytes
  for (const auto& [bytes, subparts] : {std::pair<std::string_view, int>{"\xE2\x98", 1}, {"\xC1\xBF", 2},
                                        {"\xF5\x80", 2}, {"\xE0\x9F\xBF", 3}, {"\xED\xA0\x80", 3},
                                        {"\xF0\x8F\xBF\xBF", 4}, {"\xF4\x90\x80\x80", 4}}) {
    EXPECT_EQ(decode_utf8_lossy(bytes), replacements.substr(0, 3 * subparts)) << subparts;
    EXPECT_FALSE(is_valid_utf8(bytes)) << subparts;
  }
}

TEST(Utf8, UnicodeWhiteSpaceIsExactlyTheListedCodePoints) {
  for (char32_t cp : {0x09, 0x0D, 0x20, 0x85, 0xA0, 0x1680, 0x2000, 0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000})
    EXPECT_TRUE(is_unicode_white_space(cp)) << std::hex << static_cast<unsigned>(cp);
  for (char32_t cp : {0x08, 0x0E, 0x1F, 0x21, 0x84, 0x86, 0xA1, 0x167F, 0x1681, 0x180E, 0x1FFF, 0x200B, 0x2027,
                      0x202A, 0x202E, 0x2030, 0x205E, 0x2060, 0x2FFF, 0x3001, 0xFEFF})
    EXPECT_FALSE(is_unicode_white_space(cp)) << std::hex << static_cast<unsigned>(cp);
}

TEST(QuoteText, EscapesLikeADebugString) {
  for (const auto& [text, quoted] :
       {std::pair<std::string_view, std::string_view>{"a\"b\\c", "\"a\\\"b\\\\c\""}, {"it's", "\"it's\""},
        {std::string_view("\0\t\n\r", 4), "\"\\0\\t\\n\\r\""}, {"\x01\x7f", "\"\\u{1}\\u{7f}\""},
        {"e\xCC\x81", "\"e\\u{301}\""}, {"\xE2\x80\x8B", "\"\\u{200b}\""}, {"A\xFF", "\"A\uFFFD\""},
        {"\xC3\xA9 \xE2\x98\x89", "\"\xC3\xA9 \xE2\x98\x89\""}}) {  // combining mark, format (Cf), printable
    EXPECT_EQ(quote_text(text), quoted);
  }
}

TEST(ErrorMessages, EveryVariantOfEachCoreError) {
  EXPECT_EQ(message(CoordinateError::NonFinite), "Cartesian state must be finite");
  EXPECT_EQ(message(CoordinateError::AtOrigin), "spherical position is undefined at origin");
  EXPECT_EQ(message(CoordinateError::OnZAxis), "spherical longitude is undefined on the z axis");
  EXPECT_EQ(message(CoordinateError::InvalidLatitude), "geodetic latitude must be finite and within [-90, 90] degrees");
  EXPECT_EQ(message(CoordinateError::UndefinedHouseCusps),
            "house cusps are undefined for this system at the requested latitude");
  EXPECT_EQ(message(TimeConversionError::non_finite_julian_day()), "Julian day must be finite");
  EXPECT_EQ(message(TimeConversionError::unsupported(TimeScale::Ut1)), "conversion from Ut1 to TDB is not implemented");
  EXPECT_EQ(message(EphemerisError::unsupported_body(Body::Mars)), "unsupported body: Mars");
  EXPECT_EQ(message(EphemerisError::out_of_range(2500000.25, 2414864.5, 2471184.5, TimeScale::Tdb)),
            "Julian day 2500000.25 is outside kernel range 2414864.5..2471184.5 Tdb");
  EXPECT_EQ(message(EphemerisError::invalid_request("bad option")), "bad option");
  EXPECT_EQ(message(EphemerisError::time_conversion("no leap seconds")), "no leap seconds");
  EXPECT_EQ(message(EphemerisError::backend("no segments")), "no segments");
}

}  // namespace
}  // namespace ephemeris
