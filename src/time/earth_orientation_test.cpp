#include "time/earth_orientation.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "time/testing/real_data.h"
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

TEST(EarthOrientationTable, LoadsFromFileAndEveryLoadErrorText) {
  testing::TempDir dir;
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
  EXPECT_EQ(error(EarthOrientationTable::from_text(kTwoDays, "t", "b")), "EOP table SHA-256 must be 64 hexadecimal characters");
  std::string twelve_lines = "# header\n\n";  // line numbers count every line
  for (int i = 0; i < 9; ++i) twelve_lines += "2023 2 25 0 " + std::to_string(60000 + i) + " 0.01 0.3 0.1\r\n";
  const std::string increasing = "EOP DUT1 samples must be strictly increasing in UTC";
  for (const auto& [text, wanted] : std::initializer_list<std::pair<std::string, std::string>>{
           {twelve_lines + "2023 2 25 0 60009 0.01 0.3\n", "invalid IERS EOP 20 C04 line 12"},
           {"  # comment\nYR MM DD HH MJD x y UT1-UTC\n", "invalid IERS EOP 20 C04 line 2"},
           {"# only comments\n\n   \n#\n", "EOP table contains no DUT1 samples"},
           {"a b c d 60000 0 0 0.1\na b c d 60000 0 0 0.2\n", increasing},
           {"a b c d 60001 0 0 0.1\na b c d 60000 0 0 0.2\n", increasing},
           {"a b c d 60001 0 0 0.1\na b c d 60000 0 0 0.2\nbad\n", "invalid IERS EOP 20 C04 line 3"},  // all read first
           {"a b c d 60000 0 0 NaN\n", "EOP epoch, DUT1, and polar motion must be finite"}}) {
    EXPECT_EQ(error(EarthOrientationTable::from_text(text, "t", kSha256)), wanted) << text;
  }
}

TEST(InterpolatedSample, LinearBetweenSamplesExactAtThemRefusedOutside) {
  const auto two = table(kTwoDays);
  EXPECT_EQ(two.interpolated_sample(2460000.75), (EopSample{2460000.75, std::fma(0.1, 0.75, 0.2 * 0.25),
                                                            std::fma(0.01, 0.75, 0.02 * 0.25), std::fma(0.3, 0.75, 0.5 * 0.25)}));
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
  EXPECT_EQ(two.interpolated_sample(-INFINITY).error().kind, EopError::Kind::NonFiniteSample);
  const auto one = table("a b c d 60000 0.1 0.2 0.3");
  EXPECT_EQ(one.interpolated_sample(2460000.5), one.samples()[0]);
  EXPECT_FALSE(one.interpolated_sample(2460000.5 + 1e-9).has_value());
  // UT1 back to UTC: three steps converge far below a double's resolution at 2.46e6 d (4.7e-10 d). UT1 at the first
  // sample lies inside; its UTC estimate 0.1 s earlier does not.
  const double utc = two.utc_julian_day_from_ut1(2460001.0).value();
  EXPECT_NEAR(utc + two.interpolated_sample(utc)->dut1 / 86400.0, 2460001.0, 4.7e-10);
  EXPECT_EQ(two.utc_julian_day_from_ut1(NAN).error().kind, EopError::Kind::NonFiniteSample);
  EXPECT_EQ(two.utc_julian_day_from_ut1(2460000.5).error(),
            EopError::outside_coverage(2460000.5 - 0.1 / 86400.0, 2460000.5, 2460001.5));
}

// The published table against its own numbers read independently (stream extraction): every data line loads, the
// sample dates give the file's numbers, and between them the values are linear, across the +1 s jump of DUT1 at the
// 2017 leap second (MJD 57753 to 57754) too. 1e-15: the loader's fused form and this plain one differ in rounding.
TEST(EarthOrientationTable, ThePublishedC04TableGivesItsOwnNumbers) {
  ASSERT_TRUE(testing::have_eopc04());
  const auto c04 = EarthOrientationTable::open(EPHEMERIS_EOPC04_PATH, kSha256);
  ASSERT_TRUE(c04.has_value()) << message(c04.error());
  std::map<double, std::array<double, 3>> rows;  // MJD -> DUT1, x, y
  std::ifstream in(EPHEMERIS_EOPC04_PATH);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    double skip, mjd, x, y, dut1;
    if (line[0] != '#' && fields >> skip >> skip >> skip >> skip >> mjd >> x >> y >> dut1) rows[mjd] = {dut1, x, y};
  }
  EXPECT_EQ(c04->file_name(), "eopc04.1962-now");
  ASSERT_EQ(c04->samples().size(), rows.size());
  ASSERT_GT(rows.size(), 23000u);  // daily from 1962-01-01
  const double last = rows.rbegin()->first;
  for (double mjd : {37665.0, 41000.0, 51544.0, 57753.0, 60000.0, last}) {
    for (double f : {0.0, 0.25, 0.5, 0.9}) {
      const double jd = mjd + 2400000.5 + (mjd == last ? 0.0 : f);
      f = jd - (mjd + 2400000.5);  // the fraction the date holds, to 5e-10
      const auto got = c04->interpolated_sample(jd).value();
      const auto& a = rows.at(mjd);
      const auto& b = mjd == last ? a : rows.at(mjd + 1);
      for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR((std::array{got.dut1, got.x_arcsec, got.y_arcsec}[k]), a[k] + (b[k] - a[k]) * f, 1e-15) << mjd << f;
      }
    }
  }
}

}  // namespace
}  // namespace ephemeris
