// The small text readers under both tables: lines, Unicode white space, decimal numbers, file names and whole files.
#include "time/text_scan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>

#include <gtest/gtest.h>

#include "time/checksum_text.h"
#include "time/decimal_number.h"
#include "time/file_name.h"
#include "time/testing/temp_dir.h"
#include "time/text_file.h"

namespace ephemeris {
namespace {

using Texts = std::vector<std::string_view>;

TEST(TextScan, LinesTrimmingAndFields) {
  for (const auto& [text, lines] : {std::pair<std::string_view, Texts>{"", {}}, {"a\r\nb\r\n", {"a", "b"}},
                                    {"\n\nx\r", {"", "", "x\r"}}, {"a\rb\n", {"a\rb"}}}) {
    Texts got;
    LineCursor cursor(text);
    for (std::string_view line; cursor.next(line);) got.push_back(line);
    EXPECT_EQ(got, lines) << text;
  }
  EXPECT_EQ(trim_whitespace(" \t\r\n\v\f x y \n"), "x y");
  EXPECT_EQ(trim_whitespace("\xC2\xA0\xE3\x80\x80value\xE2\x80\xA8\xC2\x85"), "value");  // two- and three-byte spaces
  EXPECT_EQ(trim_whitespace("   "), "");
  EXPECT_EQ(trim_whitespace("\xE2\x80\x8B" "x\xFF \xA0"), "\xE2\x80\x8B" "x\xFF \xA0");  // no white space, stray bytes
  EXPECT_EQ(whitespace_fields("  a  bb\t\xE2\x80\x83" "c ", 8), (Texts{"a", "bb", "c"}));
  EXPECT_EQ(whitespace_fields("1 2 3 4", 2), (Texts{"1", "2"}));
}

TEST(ParseDecimalNumber, AcceptsDecimalFormsAndWordsAndSaturates) {
  for (const auto& [text, value] :
       {std::pair<const char*, double>{"32.184", 32.184}, {"+10", 10.0}, {"-0.0272422", -0.0272422}, {"1.", 1.0},
        {".5", 0.5}, {"1.99096871E-7", 1.99096871e-7}, {"6e+0", 6.0}, {"0.1", 0.1}, {"inf", INFINITY},
        {"-Infinity", -INFINITY}, {"1e400", INFINITY}, {"-1e99999999999999999999999", -INFINITY}, {"1e-400", 0.0},
        {"0.000e999999", 0.0}, {"1e-310", 1e-310}, {"0.00000000000000000001e330", INFINITY},  // 1e310
        {"100000000000000000000e-344", 0.0}}) {                                                // 1e-324
    EXPECT_EQ(parse_decimal_number(text), value) << text;
  }
  EXPECT_TRUE(std::signbit(*parse_decimal_number("-0")));
  EXPECT_TRUE(std::isnan(*parse_decimal_number("NaN")) && std::isnan(*parse_decimal_number("+nAn")));
  for (const char* text : {"", "+", "-", ".", "e5", "1e", "1e+", "1.2.3", " 1", "1 ", "0x10", "1_000", "1,5",
                           "infinit", "nan(1)", "1d5", "--1", "+-1", "1e5.0", "\xEF\xBC\x91"}) {
    EXPECT_EQ(parse_decimal_number(text), std::nullopt) << text;
  }
}

TEST(FileNameAndChecksum, FinalComponentIgnoringSeparatorsAndDotsAndHexadecimalDigits) {
  for (const auto& [path, name] :
       {std::pair<const char*, const char*>{"/data/naif0012.tls", "naif0012.tls"}, {"naif0012.tls", "naif0012.tls"},
        {"kernels/de421.bsp//", "de421.bsp"}, {"kernels/de421.bsp/./", "de421.bsp"}, {"a/./.", "a"}, {"", nullptr},
        {"///", nullptr}, {"..", nullptr}, {"kernels/../", nullptr}, {".", nullptr}, {"kernels/../.", nullptr}}) {
    EXPECT_EQ(final_path_component(path), name ? std::optional<std::string_view>(name) : std::nullopt) << path;
  }
  EXPECT_EQ(utf8_file_name("/\xFF/\xE6\x97\xA5.tls"), "\xE6\x97\xA5.tls");  // only the final component matters
  EXPECT_EQ(utf8_file_name("/tmp/\xFF.tls"), std::nullopt);
  EXPECT_TRUE(is_sha256_text("0123456789abcdefABCDEF" + std::string(42, '0')));
  const std::string s(63, 'a');
  for (const std::string& bad : {s, s + "aa", "g" + s, "G" + s, "/" + s, ":" + s, "\xC3\xA9" + s.substr(1)})
    EXPECT_FALSE(is_sha256_text(bad)) << bad;
  EXPECT_EQ(ascii_lower("0aF@Z[\xC3\x89"), "0af@z[\xC3\x89");
}

TEST(ReadTextFile, WholeFileOrTheReason) {
  testing::TempDir dir;
  const std::string text = "line one\r\nline two\n\xE2\x82\xAC";
  EXPECT_EQ(read_text_file(dir.write("a.txt", text)), text);
  EXPECT_EQ(read_text_file(dir.write("empty.txt", "")), "");
  const std::string fifo = (dir.path() / "fifo").string(), huge = dir.write("huge.txt", "");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(::truncate(huge.c_str(), static_cast<off_t>(kMaxTextFileBytes) + 1), 0);  // sparse: refused unread
  for (const auto& [path, reason] :
       {std::pair<std::string, const char*>{(dir.path() / "missing").string(), "No such file or directory"},
        {dir.path().string(), "Is a directory"}, {"/dev/null", "not a regular file"},
        {dir.write("bad.txt", "ok \xC3\x28"), "stream did not contain valid UTF-8"},
        {fifo, "not a regular file"},  // and does not block
        {std::string("a\0b", 3), "path contains a NUL byte"}, {huge, "file is larger than 268435456 bytes"}}) {
    EXPECT_EQ(read_text_file(path).error().text, reason) << path;
  }
}

}  // namespace
}  // namespace ephemeris
