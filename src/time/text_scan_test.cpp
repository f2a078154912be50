#include "time/text_scan.h"

#include <gtest/gtest.h>

namespace ephemeris {
namespace {

std::vector<std::string_view> all_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  LineCursor cursor(text);
  std::string_view line;
  while (cursor.next(line)) lines.push_back(line);
  return lines;
}

TEST(LineCursor, SplitsAtLineFeedAndDropsCarriageReturnBeforeIt) {
  using Lines = std::vector<std::string_view>;
  EXPECT_EQ(all_lines(""), Lines{});
  EXPECT_EQ(all_lines("a\nb"), (Lines{"a", "b"}));
  EXPECT_EQ(all_lines("a\r\nb\r\n"), (Lines{"a", "b"}));
  EXPECT_EQ(all_lines("\n\nx\r"), (Lines{"", "", "x\r"}));
  EXPECT_EQ(all_lines("a\rb\n"), (Lines{"a\rb"}));
}

TEST(TrimWhitespace, RemovesUnicodeWhitespaceAtBothEnds) {
  EXPECT_EQ(trim_whitespace(" \t\r\n\v\f x y \n"), "x y");
  EXPECT_EQ(trim_whitespace("\xC2\xA0\xE3\x80\x80value\xE2\x80\xA8\xC2\x85"), "value");
  EXPECT_EQ(trim_whitespace("   "), "");
  EXPECT_EQ(trim_whitespace("\xE2\x80\x8B" "x"), "\xE2\x80\x8B" "x");  // zero-width space is not whitespace
  EXPECT_EQ(trim_whitespace("\xFF \xA0"), "\xFF \xA0");                // stray bytes are kept
}

TEST(WhitespaceFields, SplitsAtRunsAndStopsAtTheLimit) {
  using Fields = std::vector<std::string_view>;
  EXPECT_EQ(whitespace_fields("  a  bb\t\xE2\x80\x83" "c ", 8), (Fields{"a", "bb", "c"}));
  EXPECT_EQ(whitespace_fields("1 2 3 4", 2), (Fields{"1", "2"}));
  EXPECT_EQ(whitespace_fields(" \n ", 8), Fields{});
}

}  // namespace
}  // namespace ephemeris
