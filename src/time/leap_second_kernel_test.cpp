// The NAIF text-kernel format and the leap-second kernel read from it.
#include "time/leap_second_kernel.h"

#include <gtest/gtest.h>

#include "time/testing/real_data.h"
#include "time/testing/temp_dir.h"
#include "time/text_kernel.h"

namespace ephemeris {
namespace {

using testing::kPublishedLeapSecondText;
using Tokens = std::vector<std::string_view>;
const std::string kSha256(64, 'a');

TEST(TextKernel, DataSectionsAssignmentsAndValues) {
  namespace tk = text_kernel;
  EXPECT_EQ(tk::extract_data_sections("A = 1\n  \\begindata  \r\nB = 2\n  C = 3\r\n\\begintext\nD\n\\begindata\nE"),
            "B = 2\n  C = 3\nE\n");
  for (const char* text : {"", "\\BEGINDATA\nA = 1\n", "x\n\\begindata\n \n\t\n\\begintext\nA = 1\n\\begindata\n"})
    EXPECT_EQ(tk::extract_data_sections(text).error(), LskError::missing_data_section()) << text;
  const auto map = tk::parse_assignments(
      "junk\nDELTET/DELTA_AT = ( 10, @1972-JAN-1\n   11, @1972-JUL-1\n\n   )\nK = 1\nk = 2\nK = 3\nEMPTY =\n"
      "A_1/b = 1\n9X = 2\n_Y = 3\n = 4\nZ+ = 5\nM = ( 1 )\nM += ( 3 )\n");
  const tk::Assignments wanted = {{"DELTET/DELTA_AT", "( 10, @1972-JAN-1 11, @1972-JUL-1 )"}, {"K", "3"}, {"k", "2"},
                                  {"EMPTY", ""}, {"A_1/b", "1 9X = 2 _Y = 3 = 4 Z+ = 5"}, {"M", "( 1 ) M += ( 3 )"}};
  EXPECT_EQ(map, wanted);  // a line whose text before "=" is no name, or "+=", continues the open value
  EXPECT_EQ(tk::value_tokens("  ((1,2 ,, 3\xE2\x80\x83" "4))  "), (Tokens{"1", "2", "3", "4"}));
  EXPECT_EQ(tk::value_tokens("(a(b) c)"), (Tokens{"a(b)", "c"}));
  EXPECT_EQ(tk::parse_number("6.239996d0"), 6.239996);  // "D" in the published kernel
  EXPECT_EQ(tk::parse_number("1.0DD3"), std::nullopt);
}

TEST(TextKernel, DateLiteralsAreTheJulianDateOfMidnight) {
  for (const auto& [token, jd] :
       {std::pair<const char*, double>{"@1972-JAN-1", 2441317.5}, {"@1972-JAN-40", 2441356.5},
        {"@1972-FEB-9", 2441356.5}, {"@+2000-Mar-+01", 2451604.5}, {"@1582-OCT-15", 2299160.5},
        {"@2024-feb-29", 2460369.5}, {"@0-JAN-1", 1721059.5}, {"@2147483647-DEC-4294967295", 788648984627.5}}) {
    EXPECT_EQ(text_kernel::parse_date_literal(token), jd) << token;
  }
  EXPECT_EQ(text_kernel::julian_day_number(-4713, 11, 23), -1.0);  // divisions round toward minus infinity
  for (const char* token : {"@1972-JAN-0", "@1972-JANUARY-1", "1972-JAN-1", "@1972-JAN-1-00", "@-10-JAN-1", "", "@",
                            "@1972-JAN", "@1972--1", "@-JAN-1", "@1972-JAN-", "@+-JAN-1", "@1972-JAN-+",
                            "@2147483648-JAN-1", "@1972-JAN-4294967296", "@1972-JA1-1", "@1972-JAN-1.5"}) {
    EXPECT_EQ(text_kernel::parse_date_literal(token).error(), LskError::invalid_date_literal(token)) << token;
  }
}

TEST(LeapSecondKernel, LoadsThePublishedTableAndNeverReadsTheCommentArea) {
  testing::TempDir dir;
  const std::string path = dir.write("naif.tls", kPublishedLeapSecondText);
  const auto kernel = LeapSecondKernel::open(path, "0123456789ABCDEF" + kSha256.substr(16));
  ASSERT_TRUE(kernel.has_value()) << message(kernel.error());
  EXPECT_EQ(kernel->file_name(), "naif.tls");
  EXPECT_EQ(kernel->sha256(), "0123456789abcdef" + kSha256.substr(16));
  ASSERT_NE(kPublishedLeapSecondText.find("DELTET/K = 99"), std::string_view::npos);
  EXPECT_EQ((std::array{kernel->delta_t_a(), kernel->k(), kernel->eb(), kernel->m0(), kernel->m1()}),
            (std::array{32.184, 1.657e-3, 1.671e-2, 6.239996, 1.99096871e-7}));
  ASSERT_EQ(kernel->entries().size(), 28u);
  EXPECT_EQ(kernel->entries()[0], (LeapSecondEntry{10.0, 2441317.5}));
  EXPECT_EQ(kernel->entries().back(), (LeapSecondEntry{37.0, 2457754.5}));
}

// A data section with the five DELTET assignments, DELTET/`key` given `value` instead (left out when empty).
std::string kernel_with(std::string_view key = "", std::string_view value = "") {
  std::string text = "\\begindata\nOTHER = 1\n";
  for (auto [name, usual] : {std::pair{"DELTA_T_A", "32.184"}, {"K", "1.657D-3"}, {"EB", "1"}, {"M", "( 6.2 1.9D-7 )"},
                             {"DELTA_AT", "( 10, @1972-JAN-1 )"}}) {
    const std::string_view given = name == key ? value : usual;
    if (!given.empty()) text += "DELTET/" + std::string(name) + " = " + std::string(given) + "\n";
  }
  return text;
}

// Every error text, and the hostile inputs among them: a 100 MB line and a 100 MB numeral (infinity), 10 MB runs of
// white space, a million entries load or fail with their own errors in time linear in the input.
TEST(LeapSecondKernel, EveryLoadErrorTextAndHostileInputs) {
  testing::TempDir dir;
  const std::string mb10(std::size_t{10} << 20, ' '), mb100(std::size_t{100} << 20, '7');
  std::string million = "(";
  for (int i = 0; i < 1'000'000; ++i) million += " 10, @1972-JAN-" + std::to_string(i + 1) + "\n";
  const auto error = [](const auto& loaded) { return loaded ? std::string("loaded") : message(loaded.error()); };
  EXPECT_EQ(error(LeapSecondKernel::open("/tmp/\xFF.tls", kSha256)), "leap-second kernel path has no UTF-8 filename");
  // Read failures come before the checksum, the checksum before the text.
  EXPECT_EQ(error(LeapSecondKernel::open((dir.path() / "none.tls").string(), "x")),
            "failed to read leap-second kernel: No such file or directory");
  EXPECT_EQ(error(LeapSecondKernel::from_text("\xC0\x80", "k.tls", "x")),
            "failed to read leap-second kernel: stream did not contain valid UTF-8");
  EXPECT_EQ(error(LeapSecondKernel::from_text("K = 1", "k.tls", std::string(63, 'a'))),
            "leap-second kernel SHA-256 must contain exactly 64 hexadecimal characters");
  EXPECT_EQ(error(LeapSecondKernel::from_text("K = 1", "k", kSha256)), "leap-second kernel has no \\begindata section");
  EXPECT_EQ(error(LeapSecondKernel::from_text("#" + mb100 + "\n" + kernel_with(), "k", kSha256)), "loaded");
  const std::string missing = "leap-second kernel is missing required keyword DELTET/";
  const std::string bad = "invalid value for DELTET/";
  const std::string pairs = "DELTA_AT: expected a non-empty sequence of (delta, date) pairs";
  const std::string ascending = "DELTET/DELTA_AT entries must be strictly ascending in effective date";
  for (const auto& [key, value, wanted] : std::initializer_list<std::tuple<const char*, std::string, std::string>>{
           {"DELTA_T_A", "", missing + "DELTA_T_A"}, {"K", "", missing + "K"}, {"EB", "", missing + "EB"},
           {"M", "", missing + "M"}, {"DELTA_AT", "", missing + "DELTA_AT"},
           {"DELTA_T_A", "( 32 1 )", bad + "DELTA_T_A: expected a single scalar value"},
           {"K", "1.657Q-3", bad + "K: value is not a valid number"},
           {"EB", "( )", bad + "EB: expected a single scalar value"},
           {"M", "( 1 2 3 )", bad + "M: expected exactly two values (M0 and M1)"},
           {"M", "( M0 1.9D-7 )", bad + "M: M0 is not a valid number"},
           {"M", "( 6.2 1.9.6D-7 )", bad + "M: M1 is not a valid number"},
           {"DELTA_AT", "( 10, @1972-JAN-1 11 )", bad + pairs}, {"DELTA_AT", "( )", bad + pairs},
           {"DELTA_AT", "( ten, @1972-JAN-1 )", bad + "DELTA_AT: delta value is not a valid number"},
           {"DELTA_AT", "( 10, 1972-JUL-\"1 )", "invalid NAIF date literal \"1972-JUL-\\\"1\""},
           {"DELTA_AT", "( 10, @1972-JAN-1 11, @1972-JAN-1 )", ascending},
           {"DELTA_AT", "( 11, @1972-JUL-1 10, @1972-JAN-1 )", ascending},
           // Pairs are read in file order: a bad date after a bad order is reported first.
           {"DELTA_AT", "( 11, @1972-JUL-1 10, @1972-JAN-1 12, @1973-JAN-0 )",
            "invalid NAIF date literal \"@1973-JAN-0\""},
           {"K", mb100, "loaded"}, {"DELTA_AT", million + ")", "loaded"},
           {"DELTA_AT", "( 10," + mb10 + "@1972-JAN-1" + mb10 + "11, @1972-FEB-0" + mb10 + ")",
            "invalid NAIF date literal \"@1972-FEB-0\""},
           {"", "", "loaded"}}) {
    const auto kernel = LeapSecondKernel::from_text(kernel_with(key, value), "k.tls", kSha256);
    EXPECT_EQ(error(kernel), wanted) << key << value.substr(0, 40);
  }
}

}  // namespace
}  // namespace ephemeris
