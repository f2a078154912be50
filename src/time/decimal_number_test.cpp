#include "time/decimal_number.h"

#include <cmath>

#include <gtest/gtest.h>

namespace ephemeris {
namespace {

TEST(ParseDecimalNumber, AcceptsDecimalForms) {
  EXPECT_EQ(parse_decimal_number("32.184"), 32.184);
  EXPECT_EQ(parse_decimal_number("+10"), 10.0);
  EXPECT_EQ(parse_decimal_number("-0.0272422"), -0.0272422);
  EXPECT_EQ(parse_decimal_number("1."), 1.0);
  EXPECT_EQ(parse_decimal_number(".5"), 0.5);
  EXPECT_EQ(parse_decimal_number("1.99096871E-7"), 1.99096871e-7);
  EXPECT_EQ(parse_decimal_number("6e+0"), 6.0);
  EXPECT_EQ(parse_decimal_number("0.1"), 0.1);  // correctly rounded
  EXPECT_TRUE(std::signbit(*parse_decimal_number("-0")));
}

TEST(ParseDecimalNumber, AcceptsInfinityAndNanWordsInAnyCase) {
  EXPECT_EQ(parse_decimal_number("inf"), INFINITY);
  EXPECT_EQ(parse_decimal_number("-Infinity"), -INFINITY);
  EXPECT_TRUE(std::isnan(*parse_decimal_number("NaN")));
  EXPECT_TRUE(std::isnan(*parse_decimal_number("+nAn")));
}

TEST(ParseDecimalNumber, SaturatesBeyondTheDoubleRange) {
  EXPECT_EQ(parse_decimal_number("1e400"), INFINITY);
  EXPECT_EQ(parse_decimal_number("-1e99999999999999999999999"), -INFINITY);
  EXPECT_EQ(parse_decimal_number("1e-400"), 0.0);
  EXPECT_EQ(parse_decimal_number("0.000e999999"), 0.0);
  EXPECT_EQ(parse_decimal_number("1e-310"), 1e-310);  // subnormals are kept
  EXPECT_EQ(parse_decimal_number("0.00000000000000000001e330"), INFINITY);  // 1e310
  EXPECT_EQ(parse_decimal_number("100000000000000000000e-344"), 0.0);  // 1e-324
}

TEST(ParseDecimalNumber, RefusesEverythingElse) {
  for (const char* text : {"", "+", "-", ".", "e5", "1e", "1e+", "1.2.3", " 1", "1 ", "0x10", "1_000", "1,5",
                           "infinit", "nan(1)", "1d5", "--1", "+-1", "1e5.0", "\xEF\xBC\x91"}) {
    EXPECT_EQ(parse_decimal_number(text), std::nullopt) << text;
  }
}

}  // namespace
}  // namespace ephemeris
