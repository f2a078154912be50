#include "time/earth_orientation.h"

#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>

#include "time/testing/temp_dir.h"

namespace ephemeris {
namespace {

const std::string kSha256(64, 'b');

// Samples at MJD 60000 and 60001: x 0.01, 0.02; y 0.3, 0.5; DUT1 0.1, 0.2 s.
constexpr std::string_view kTwoDays =
    "# YR MM DD HH MJD x y UT1-UTC\n"
    "2023   2  25   0  60000.00  0.010000  0.300000  0.1000000  0.0 0.0\n"
    "2023   2  26   0  60001.00  0.020000  0.500000  0.2000000\n";

EarthOrientationTable table(std::string_view text) { return *EarthOrientationTable::from_text(text, "t", kSha256); }

TEST(ParseC04Line, ReadsFieldsFiveToEight) {
  EXPECT_EQ(parse_c04_line("1962   1   1   0  37665.00   -0.012700    0.213000   0.0326338    0.000000", 7),
            (EopSample{37665.0 + 2400000.5, 0.0326338, -0.0127, 0.213}));
  EXPECT_EQ(parse_c04_line("x y z w 60000 1e-1 +2 -.5", 1), (EopSample{2460000.5, -0.5, 0.1, 2.0}));
  for (const char* line : {"1 2 3 4 60000 0.01 0.3", "1 2 3 4 60000 0.01 0.3 0.1s", "1 2 3 4 6000,0 0.01 0.3 0.1", "",
                           "1 2 3 4 60000 nan 0.3 bad"}) {  // a field that is no number is reported before a NaN
    EXPECT_EQ(parse_c04_line(line, 12).error(), EopError::invalid_line(12)) << line;
  }
  for (const char* line : {"1 2 3 4 60000 0.01 0.3 NaN", "1 2 3 4 inf 0.01 0.3 0.1", "1 2 3 4 60000 -Infinity 0.3 0.1",
                           "1 2 3 4 60000 0.01 nan 0.1", "1 2 3 4 60000 1e999 0.3 0.1"}) {
    EXPECT_EQ(parse_c04_line(line, 1).error(), EopError::of_kind(EopError::Kind::NonFiniteSample)) << line;
  }
}

// Every error text, and the hostile inputs among them: two million lines, 100 MB fields and 10 MB runs of white space
// load or fail with their own errors in time linear in the input.
TEST(EarthOrientationTable, LoadsFromFileAndEveryLoadErrorTextAndHostileInputs) {
  testing::TempDir dir;
  const std::string mb100(std::size_t{100} << 20, '9');
  std::string lines;
  for (int i = 0; i < 2'000'000; ++i) lines += "0 0 0 0 " + std::to_string(i) + " 0.1 0.2 0.3\n";
  const auto loaded = EarthOrientationTable::open(dir.write("eopc04.txt", kTwoDays), "ABCDEF" + kSha256.substr(6));
  ASSERT_TRUE(loaded.has_value()) << message(loaded.error());
  EXPECT_EQ(loaded->file_name(), "eopc04.txt");
  EXPECT_EQ(loaded->sha256(), "abcdef" + kSha256.substr(6));
  EXPECT_TRUE(std::ranges::equal(loaded->samples(), std::vector<EopSample>{{2460000.5, 0.1, 0.01, 0.3},
                                                                           {2460001.5, 0.2, 0.02, 0.5}}));
  const auto error = [](const auto& result) { return result ? std::string("loaded") : message(result.error()); };
  EXPECT_EQ(error(EarthOrientationTable::open("/tmp/..", kSha256)), "EOP table path has no filename");
  // Read failures come before the checksum: the name is found despite trailing separators, then the system refuses
  // to open a file through them.
  EXPECT_EQ(error(EarthOrientationTable::open(dir.path().string() + "/eopc04.txt//", "x")), "Not a directory");
  EXPECT_EQ(error(EarthOrientationTable::from_text("60000 \xFF", "t", "x")), "stream did not contain valid UTF-8");
  EXPECT_EQ(error(EarthOrientationTable::from_text("", "t", "b")),
            "EOP table SHA-256 must be 64 hexadecimal characters");
  const std::string increasing = "EOP DUT1 samples must be strictly increasing in UTC";
  for (const auto& [text, wanted] : std::initializer_list<std::pair<std::string, std::string>>{
           {"# h\n\na b c d 60000 0 0 0\r\n a b c d 60001 0 0 0\r\nbad\n", "invalid IERS EOP 20 C04 line 5"},
           {"  # comment\nYR MM DD HH MJD x y UT1-UTC\n", "invalid IERS EOP 20 C04 line 2"},
           {"# only comments\n\n   \n#\n", "EOP table contains no DUT1 samples"},
           {"a b c d 60000 0 0 0.1\na b c d 60000 0 0 0.2\n", increasing},
           {"a b c d 60001 0 0 0.1\na b c d 60000 0 0 0.2\n", increasing},
           {"a b c d 60001 0 0 0.1\na b c d 60000 0 0 0.2\nbad\n", "invalid IERS EOP 20 C04 line 3"},  // all read first
           {"a b c d 60000 0 0 NaN\n", "EOP epoch, DUT1, and polar motion must be finite"},
           {lines, "loaded"}, {"0 0 0 0 " + mb100 + " 0 0 0\n", "EOP epoch, DUT1, and polar motion must be finite"},
           {"0 0 0 0 60000 0 0 0 " + mb100 + "x\n", "loaded"},  // fields past the eighth are not read
           {"0 0 0 0" + std::string(std::size_t{10} << 20, '\t') + "60000\n", "invalid IERS EOP 20 C04 line 1"}}) {
    EXPECT_EQ(error(EarthOrientationTable::from_text(text, "t", kSha256)), wanted) << text.substr(0, 40);
  }
}

TEST(InterpolatedSample, LinearBetweenSamplesExactAtThemRefusedOutside) {
  const auto two = table(kTwoDays);
  const auto blend = [](double a, double b) { return std::fma(a, 0.75, b * 0.25); };  // a quarter on, fused
  EXPECT_EQ(two.interpolated_sample(2460000.75),
            (EopSample{2460000.75, blend(0.1, 0.2), blend(0.01, 0.02), blend(0.3, 0.5)}));
  EXPECT_EQ(two.interpolated_sample(2460000.5), two.samples()[0]);
  EXPECT_EQ(two.interpolated_sample(2460001.5), two.samples()[1]);
  EXPECT_EQ(two.polar_motion_arcsec(2460001.0), std::pair(std::fma(0.01, 0.5, 0.01), std::fma(0.3, 0.5, 0.25)));
  const std::string outside = " is outside EOP coverage [2460000.5, 2460001.5]";
  for (const auto& [jd, wanted] : {std::pair<double, std::string>{2460002.0, "UTC Julian day 2460002" + outside},
                                   {2460000.4999, "UTC Julian day 2460000.4999" + outside},
                                   {NAN, "EOP epoch, DUT1, and polar motion must be finite"}}) {
    EXPECT_EQ(message(two.interpolated_sample(jd).error()), wanted);
    EXPECT_EQ(message(two.polar_motion_arcsec(jd).error()), wanted);
  }
  // UT1 back to UTC: three steps converge far below a double's resolution at 2.46e6 d (4.7e-10 d). UT1 at the first
  // sample lies inside; its UTC estimate 0.1 s earlier does not.
  const double utc = two.utc_julian_day_from_ut1(2460001.0).value();
  EXPECT_NEAR(utc + two.interpolated_sample(utc)->dut1 / 86400.0, 2460001.0, 4.7e-10);
  EXPECT_EQ(two.utc_julian_day_from_ut1(NAN).error().kind, EopError::Kind::NonFiniteSample);
  EXPECT_EQ(two.utc_julian_day_from_ut1(2460000.5).error(),
            EopError::outside_coverage(2460000.5 - 0.1 / 86400.0, 2460000.5, 2460001.5));
}

// Bulletin A rows of finals2000A.all: the first (with Bulletin B values), the last measured, the first predicted and
// one dated beyond the predictions (trailing blanks cut, as files may have them).
constexpr std::string_view kFirstRow =
    "73 1 2 41684.00 I  0.120733 0.009786  0.136966 0.015902  I 0.8084178 0.0002710  0.0000 0.1916  P    -0.766    "
    "0.199    -0.720    0.300   .143000   .137000   .8075000   -18.637    -3.667  ";
constexpr std::string_view kMeasuredRow =
    "2611 5 61349.00 I  0.132899 0.000040  0.318583 0.000041  I-0.0595532 0.0000121                 P     0.262";
constexpr std::string_view kPredictedRow =
    "2611 6 61350.00 P  0.131810 0.000600  0.319089 0.000400  P-0.0609226 0.0000246";
constexpr std::string_view kEmptyRow = "271113 61722.00";

// `row` with `text` written over columns from `column` (1-based), padded with blanks as needed.
std::string edited(std::string_view row, std::size_t column, std::string_view text) {
  std::string line(row);
  if (line.size() < column - 1 + text.size()) line.resize(column - 1 + text.size(), ' ');
  return line.replace(column - 1, text.size(), text);
}

TEST(ParseBulletinALine, FixedColumnsFlagsBulletinBPreferredAndEachMalformedForm) {
  const auto row = [](std::string_view line) { return parse_bulletin_a_line(line, 7); };
  // UT1-UTC from Bulletin B where given; the pole from Bulletin B only when both coordinates are given.
  EXPECT_EQ(row(kFirstRow), (BulletinARow{EopSample{2441684.5, 0.8075, 0.143, 0.137}, false, false}));
  EXPECT_EQ(row(kFirstRow.substr(0, 144)), (BulletinARow{EopSample{2441684.5, 0.8084178, 0.120733, 0.136966}}));
  EXPECT_EQ(row(edited(kFirstRow, 145, "          ")), (BulletinARow{EopSample{2441684.5, 0.8075, 0.120733, 0.136966}}));
  EXPECT_EQ(row(kMeasuredRow), (BulletinARow{EopSample{2461349.5, -0.0595532, 0.132899, 0.318583}, false, false}));
  EXPECT_EQ(row(kPredictedRow), (BulletinARow{EopSample{2461350.5, -0.0609226, 0.13181, 0.319089}, true, true}));
  EXPECT_EQ(row(edited(kPredictedRow, 17, "I")), (BulletinARow{EopSample{2461350.5, -0.0609226, 0.13181, 0.319089},
                                                               false, true}));
  EXPECT_EQ(row(std::string(kEmptyRow) + "    \t "), BulletinARow{});
  for (const std::string& line : {edited(kPredictedRow, 8, "61350,00"), edited(kEmptyRow, 8, "        "),
                                  edited(kPredictedRow, 17, "X"), edited(kPredictedRow, 58, " "),
                                  edited(kPredictedRow, 19, "         "), edited(kPredictedRow, 38, " 0.31 089"),
                                  std::string(kPredictedRow.substr(0, 50)), edited(kFirstRow, 155, "      abc  "),
                                  edited(kEmptyRow, 100, "1")}) {
    EXPECT_EQ(row(line).error(), EopError::invalid_bulletin_a_line(7)) << line;
  }
  for (const std::string& line : {edited(kPredictedRow, 59, "       NaN"), edited(kFirstRow, 135, "      -inf")}) {
    EXPECT_EQ(row(line).error(), EopError::of_kind(EopError::Kind::NonFiniteSample)) << line;
  }
  EXPECT_EQ(message(EopError::invalid_bulletin_a_line(7)), "invalid IERS Bulletin A line 7");
}

// The first data line decides the format; a Bulletin A table ends with its rows without values, and its measured
// samples are those before the first predicted row.
TEST(EarthOrientationTable, RecognisesBulletinAAndWhereItsMeasurementsEnd) {
  EXPECT_TRUE(has_bulletin_a_layout(kFirstRow) && has_bulletin_a_layout(kEmptyRow));
  for (std::string_view line : {"1962   1   1   0  37665.00   -0.012700    0.213000   0.0326338", "x y z w 60000.00 0 0 0",
                                "7a 1 2 41684.00 I", "73 1 2 4168.400 I", "73 1 2 41684.0"})
    EXPECT_FALSE(has_bulletin_a_layout(line)) << line;
  const std::string bulletin_a = "# finals\n\n" + std::string(kMeasuredRow) + "\r\n" + std::string(kPredictedRow) +
                                 "\n" + std::string(kEmptyRow) + "\n\n" + std::string(kEmptyRow) + "\n";
  const auto a = table(bulletin_a);
  EXPECT_EQ(a.format(), EopFormat::BulletinA);
  EXPECT_EQ(a.samples().size(), 2u);
  EXPECT_TRUE(std::ranges::equal(a.measured_samples(), a.samples().first(1)));
  const auto c04 = table(kTwoDays);
  EXPECT_EQ(c04.format(), EopFormat::C04);
  EXPECT_EQ(c04.measured_samples().size(), 2u);
  EXPECT_TRUE(table(kPredictedRow).measured_samples().empty());
  const auto error = [](const std::string& text) {
    const auto loaded = EarthOrientationTable::from_text(text, "t", kSha256);
    return loaded ? std::string("loaded") : message(loaded.error());
  };
  const std::string measured(kMeasuredRow), predicted(kPredictedRow), empty(kEmptyRow);
  for (const auto& [text, wanted] : std::initializer_list<std::pair<std::string, std::string>>{
           {measured + "\n" + empty + "\n" + predicted + "\n", "invalid IERS Bulletin A line 3"},  // values after the end
           {predicted + "\n" + edited(kPredictedRow, 58, "I") + "\n", "invalid IERS Bulletin A line 2"},
           {measured + "\n2023 2 25 0 60000.00 0.01 0.02 0.1\n", "invalid IERS Bulletin A line 2"},
           {"2023 2 25 0 60000.00 0.01 0.02 0.1\n" + std::string(kFirstRow) + "\n", "invalid IERS EOP 20 C04 line 2"},
           {empty + "\n" + empty + "\n", "EOP table contains no DUT1 samples"},
           {predicted + "\n" + edited(kPredictedRow, 17, "I") + "\n", "invalid IERS Bulletin A line 2"},
           {measured + "\n" + measured + "\n", "EOP DUT1 samples must be strictly increasing in UTC"}}) {
    EXPECT_EQ(error(text), wanted) << text;
  }
}

}  // namespace
}  // namespace ephemeris
