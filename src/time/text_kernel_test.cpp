#include "time/text_kernel.h"

#include <gtest/gtest.h>

#include "core/text_format.h"

namespace ephemeris::text_kernel {
namespace {

using Tokens = std::vector<std::string_view>;

TEST(ExtractDataSections, KeepsOnlyLinesBetweenMarkers) {
  const auto data = extract_data_sections(
      "KPL/LSK\nA = 1\n  \\begindata  \r\nB = 2\n  C = 3\r\n\\begintext\nD = 4\n\\begindata\nE = 5");
  ASSERT_TRUE(data.has_value());
  EXPECT_EQ(*data, "B = 2\n  C = 3\nE = 5\n");
}

TEST(ExtractDataSections, MarkersAreCaseSensitive) {
  EXPECT_EQ(extract_data_sections("\\BEGINDATA\nA = 1\n").error(), LskError::missing_data_section());
}

TEST(ExtractDataSections, BlankDataIsMissing) {
  const auto result = extract_data_sections("comment\n\\begindata\n \n\t\n\\begintext\nA = 1\n\\begindata\n");
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(message(result.error()), "leap-second kernel has no \\begindata section");
  EXPECT_FALSE(extract_data_sections("").has_value());
}

TEST(ParseAssignments, JoinsContinuationLinesWithSpaces) {
  const auto map = parse_assignments(
      "DELTET/DELTA_AT = ( 10, @1972-JAN-1\n"
      "                    11, @1972-JUL-1\n"
      "\n"
      "                  )\n"
      "DELTET/K = 1.657D-3\n");
  EXPECT_EQ(map.at("DELTET/DELTA_AT"), "( 10, @1972-JAN-1 11, @1972-JUL-1 )");
  EXPECT_EQ(value_tokens(map.at("DELTET/DELTA_AT")), (Tokens{"10", "@1972-JAN-1", "11", "@1972-JUL-1"}));
  EXPECT_EQ(map.at("DELTET/K"), "1.657D-3");
}

TEST(ParseAssignments, NamesMustStartWithALetter) {
  const auto map = parse_assignments("junk before\nA_1/b = 1\n9X = 2\n_Y = 3\n = 4\nZ+ = 5\n");
  EXPECT_EQ(map.size(), 1u);
  // Lines whose text before "=" is no name continue the open value.
  EXPECT_EQ(map.at("A_1/b"), "1 9X = 2 _Y = 3 = 4 Z+ = 5");
}

TEST(ParseAssignments, IncrementalFormIsContinuationText) {
  const auto map = parse_assignments("DELTET/M = ( 1 2 )\nDELTET/M += ( 3 )\n");
  EXPECT_EQ(map.at("DELTET/M"), "( 1 2 ) DELTET/M += ( 3 )");
}

TEST(ParseAssignments, LaterAssignmentWinsAndNamesAreCaseSensitive) {
  const auto map = parse_assignments("K = 1\nk = 2\nK = 3\nEMPTY =\n");
  EXPECT_EQ(map.at("K"), "3");
  EXPECT_EQ(map.at("k"), "2");
  EXPECT_EQ(map.at("EMPTY"), "");
}

TEST(ValueTokens, StripsOuterParenthesesAndSplitsAtCommasAndWhitespace) {
  EXPECT_EQ(value_tokens("  ((1,2 ,, 3\xE2\x80\x83" "4))  "), (Tokens{"1", "2", "3", "4"}));
  EXPECT_EQ(value_tokens("(a(b) c)"), (Tokens{"a(b)", "c"}));
  EXPECT_EQ(value_tokens("( )"), (Tokens{}));
  EXPECT_EQ(value_tokens("x )"), (Tokens{"x"}));
}

TEST(ParseNumber, AcceptsFortranExponents) {
  EXPECT_EQ(parse_number("1.99096871D-7"), 1.99096871e-7);
  EXPECT_EQ(parse_number("1.99096871d-7"), 1.99096871e-7);
  EXPECT_EQ(parse_number("6.239996D0"), 6.239996);
  EXPECT_EQ(parse_number("32.184"), 32.184);
  EXPECT_EQ(parse_number("1.0DD3"), std::nullopt);
  EXPECT_EQ(parse_number("@1972-JAN-1"), std::nullopt);
}

TEST(ParseDateLiteral, GivesJulianDateOfMidnight) {
  EXPECT_EQ(parse_date_literal("@1972-JAN-1"), 2441317.5);
  EXPECT_EQ(parse_date_literal("@2017-jan-1"), 2457754.5);
  EXPECT_EQ(parse_date_literal("@1972-JAN-40"), 2441356.5);
  EXPECT_EQ(parse_date_literal("@1972-FEB-9"), 2441356.5);
  EXPECT_EQ(parse_date_literal("@+2000-Mar-+01"), 2451604.5);
  EXPECT_EQ(parse_date_literal("@0-JAN-1"), 1721059.5);
  EXPECT_EQ(parse_date_literal("@2147483647-DEC-4294967295"), 788648984627.5);
}

TEST(ParseDateLiteral, RefusesMalformedTokens) {
  for (const char* token : {"@1972-JAN-0", "@1972-JANUARY-1", "1972-JAN-1", "@1972-JAN-1-00", "@-10-JAN-1", "",
                            "@", "@1972-JAN", "@1972--1", "@-JAN-1", "@1972-JAN-", "@+-JAN-1", "@1972-JAN-+",
                            "@2147483648-JAN-1", "@1972-JAN-4294967296", "@1972-JA1-1", "@1972-JAN-1.5",
                            "@ 1972-JAN-1"}) {
    const auto result = parse_date_literal(token);
    ASSERT_FALSE(result.has_value()) << token;
    EXPECT_EQ(result.error(), LskError::invalid_date_literal(token));
  }
}

TEST(ParseDateLiteral, MessageQuotesAndEscapesTheToken) {
  EXPECT_EQ(message(parse_date_literal("@1972-JAN-0").error()), "invalid NAIF date literal \"@1972-JAN-0\"");
  EXPECT_EQ(message(parse_date_literal("@\"1972\\-\tJAN-1").error()),
            "invalid NAIF date literal \"@\\\"1972\\\\-\\tJAN-1\"");
}

TEST(JulianDayNumber, ProlepticGregorian) {
  EXPECT_EQ(julian_day_number(2000, 1, 1), 2451545.0);
  EXPECT_EQ(julian_day_number(1858, 11, 17), 2400001.0);  // MJD 0 is the noon before
  EXPECT_EQ(julian_day_number(1582, 10, 15), 2299161.0);
  EXPECT_EQ(julian_day_number(-4713, 11, 24), 0.0);
  EXPECT_EQ(julian_day_number(-4713, 11, 23), -1.0);  // divisions round toward minus infinity
  EXPECT_EQ(julian_day_number(2024, 2, 29), julian_day_number(2024, 3, 1) - 1);
}

TEST(Scalar, ReportsMissingAndMalformedValues) {
  const Assignments map = {{"ONE", "( 1.5D0 )"}, {"TWO", "1 2"}, {"TEXT", "'abc'"}, {"NONE", ""}};
  EXPECT_EQ(scalar(map, "ONE"), 1.5);
  const auto missing = scalar(map, "DELTET/K");
  EXPECT_EQ(message(missing.error()), "leap-second kernel is missing required keyword DELTET/K");
  EXPECT_EQ(message(scalar(map, "TWO").error()), "invalid value for TWO: expected a single scalar value");
  EXPECT_EQ(message(scalar(map, "NONE").error()), "invalid value for NONE: expected a single scalar value");
  EXPECT_EQ(message(scalar(map, "TEXT").error()), "invalid value for TEXT: value is not a valid number");
}

TEST(RawValue, GivesTextOrMissingKeyword) {
  const Assignments map = {{"A", "( 1 2 )"}};
  EXPECT_EQ(raw_value(map, "A"), "( 1 2 )");
  EXPECT_EQ(raw_value(map, "B").error(), LskError::missing_keyword("B"));
}

}  // namespace
}  // namespace ephemeris::text_kernel
