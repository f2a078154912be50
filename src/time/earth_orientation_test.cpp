#include "time/earth_orientation.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "time/testing/temp_dir.h"

namespace ephemeris {
namespace {

const std::string kSha256(64, 'b');

// The two-sample table of MJD 60000 and 60001 with DUT1 0.1 and 0.2 s.
constexpr std::string_view kTwoDays =
    "# YR MM DD HH MJD x y UT1-UTC\n"
    "2023   2  25   0  60000.00  0.010000  0.300000  0.1000000  0.0 0.0\n"
    "2023   2  26   0  60001.00  0.020000  0.500000  0.2000000\n";

EarthOrientationTable two_days() { return *EarthOrientationTable::from_text(kTwoDays, "two.txt", kSha256); }

std::string load_error(std::string_view text) {
  const auto table = EarthOrientationTable::from_text(text, "t.txt", kSha256);
  return table ? std::string("loaded") : message(table.error());
}

TEST(ParseC04Line, ReadsFieldsFiveToEight) {
  const auto sample = parse_c04_line(
      "1962   1   1   0  37665.00   -0.012700    0.213000   0.0326338    0.000000    0.000000", 7);
  ASSERT_TRUE(sample.has_value());
  EXPECT_EQ(*sample, (EopSample{37665.0 + 2400000.5, 0.0326338, -0.0127, 0.213}));
  // The first four fields are not read.
  EXPECT_TRUE(parse_c04_line("x y z w 60000 1e-1 +2 -.5", 1).has_value());
}

TEST(ParseC04Line, InvalidLines) {
  EXPECT_EQ(message(parse_c04_line("2023 2 25 0 60000.00 0.01 0.3", 12).error()), "invalid IERS EOP 20 C04 line 12");
  EXPECT_EQ(parse_c04_line("2023 2 25 0 60000.00 0.01 0.3 0.1s", 3).error().line_number, 3u);
  EXPECT_EQ(parse_c04_line("2023 2 25 0 60000,00 0.01 0.3 0.1", 4).error().kind, EopError::Kind::InvalidLine);
  EXPECT_EQ(parse_c04_line("", 5).error().kind, EopError::Kind::InvalidLine);
}

TEST(ParseC04Line, NonFiniteValues) {
  for (const char* line : {"2023 2 25 0 60000 0.01 0.3 NaN", "2023 2 25 0 inf 0.01 0.3 0.1",
                           "2023 2 25 0 60000 -Infinity 0.3 0.1", "2023 2 25 0 60000 0.01 nan 0.1",
                           "2023 2 25 0 60000 1e999 0.3 0.1"}) {
    const auto sample = parse_c04_line(line, 1);
    ASSERT_FALSE(sample.has_value()) << line;
    EXPECT_EQ(message(sample.error()), "EOP epoch, DUT1, and polar motion must be finite") << line;
  }
  // A field that is not a number is reported before a non-finite one.
  EXPECT_EQ(parse_c04_line("2023 2 25 0 60000 nan 0.3 bad", 9).error().kind, EopError::Kind::InvalidLine);
}

TEST(EarthOrientationTable, LoadsFromFile) {
  testing::TempDir dir;
  const auto table = EarthOrientationTable::open(dir.write("eopc04.txt", kTwoDays), "ABCDEF" + std::string(58, 'b'));
  ASSERT_TRUE(table.has_value()) << message(table.error());
  EXPECT_EQ(table->file_name(), "eopc04.txt");
  EXPECT_EQ(table->sha256(), "abcdef" + std::string(58, 'b'));
  ASSERT_EQ(table->samples().size(), 2u);
  EXPECT_EQ(table->samples()[1], (EopSample{2460001.5, 0.2, 0.02, 0.5}));
}

TEST(EarthOrientationTableOpen, PathWithoutFileName) {
  for (const char* path : {"", "/", "/tmp/..", "..", "/tmp/\xC3"}) {
    const auto table = EarthOrientationTable::open(path, kSha256);
    ASSERT_FALSE(table.has_value()) << path;
    EXPECT_EQ(message(table.error()), "EOP table path has no filename") << path;
  }
  testing::TempDir dir;
  dir.write("eop.txt", kTwoDays);
  // The name is found despite trailing separators; the system then refuses
  // to open a file through them.
  EXPECT_EQ(EarthOrientationTable::open(dir.path().string() + "/eop.txt//", kSha256).error(),
            EopError::io("Not a directory"));
}

TEST(EarthOrientationTableOpen, ReadErrorIsTheOperatingSystemText) {
  testing::TempDir dir;
  EXPECT_EQ(message(EarthOrientationTable::open((dir.path() / "none").string(), "bad").error()),
            "No such file or directory");
  EXPECT_EQ(message(EarthOrientationTable::open(dir.path().string(), kSha256).error()), "Is a directory");
  EXPECT_EQ(message(EarthOrientationTable::from_text("60000 \xFF", "t", kSha256).error()),
            "stream did not contain valid UTF-8");
}

TEST(EarthOrientationTableOpen, ChecksumForm) {
  for (const std::string& sha : {std::string(63, 'b'), std::string(65, 'b'), std::string(63, 'b') + "g"}) {
    EXPECT_EQ(message(EarthOrientationTable::from_text(kTwoDays, "t", sha).error()),
              "EOP table SHA-256 must be 64 hexadecimal characters");
  }
}

TEST(EarthOrientationTableOpen, LineNumbersCountEveryLine) {
  std::string text = "# header\n\n";
  for (int i = 0; i < 9; ++i) text += "2023 2 25 0 " + std::to_string(60000 + i) + " 0.01 0.3 0.1\r\n";
  text += "2023 2 25 0 60009 0.01 0.3\n";  // 12th line, 7 fields
  EXPECT_EQ(load_error(text), "invalid IERS EOP 20 C04 line 12");
  EXPECT_EQ(load_error("  # comment\nYR MM DD HH MJD x y UT1-UTC\n"), "invalid IERS EOP 20 C04 line 2");
}

TEST(EarthOrientationTableOpen, SampleOrder) {
  EXPECT_EQ(load_error("# only comments\n\n   \n#\n"), "EOP table contains no DUT1 samples");
  EXPECT_EQ(load_error(""), "EOP table contains no DUT1 samples");
  EXPECT_EQ(load_error("a b c d 60000 0 0 0.1\na b c d 60000 0 0 0.2\n"),
            "EOP DUT1 samples must be strictly increasing in UTC");
  EXPECT_EQ(load_error("a b c d 60001 0 0 0.1\na b c d 60000 0 0 0.2\n"),
            "EOP DUT1 samples must be strictly increasing in UTC");
  // Every line is read before the order is checked.
  EXPECT_EQ(load_error("a b c d 60001 0 0 0.1\na b c d 60000 0 0 0.2\nbad\n"), "invalid IERS EOP 20 C04 line 3");
  EXPECT_EQ(load_error("a b c d 60000 0 0 NaN\n"), "EOP epoch, DUT1, and polar motion must be finite");
}

TEST(InterpolatedSample, LinearBetweenSamplesExactAtThem) {
  const auto table = two_days();
  const auto between = table.interpolated_sample(2460000.75);
  ASSERT_TRUE(between.has_value());
  EXPECT_EQ(between->utc_jd, 2460000.75);
  EXPECT_DOUBLE_EQ(between->dut1, 0.125);
  EXPECT_EQ(between->dut1, std::fma(0.1, 1.0 - 0.25, 0.2 * 0.25));
  EXPECT_EQ(between->x_arcsec, std::fma(0.01, 1.0 - 0.25, 0.02 * 0.25));
  EXPECT_EQ(between->y_arcsec, std::fma(0.3, 1.0 - 0.25, 0.5 * 0.25));
  EXPECT_EQ(table.interpolated_sample(2460000.5), table.samples()[0]);
  EXPECT_EQ(table.interpolated_sample(2460001.5), table.samples()[1]);
}

TEST(InterpolatedSample, RefusesDatesOutsideCoverage) {
  const auto table = two_days();
  EXPECT_EQ(message(table.interpolated_sample(2460002.0).error()),
            "UTC Julian day 2460002 is outside EOP coverage [2460000.5, 2460001.5]");
  EXPECT_EQ(message(table.interpolated_sample(2460000.4999).error()),
            "UTC Julian day 2460000.4999 is outside EOP coverage [2460000.5, 2460001.5]");
  EXPECT_EQ(message(table.interpolated_sample(std::numeric_limits<double>::quiet_NaN()).error()),
            "EOP epoch, DUT1, and polar motion must be finite");
  EXPECT_EQ(table.interpolated_sample(INFINITY).error().kind, EopError::Kind::NonFiniteSample);
}

TEST(InterpolatedSample, SingleSampleTable) {
  const auto table = *EarthOrientationTable::from_text("a b c d 60000 0.1 0.2 0.3", "one", kSha256);
  EXPECT_EQ(table.interpolated_sample(2460000.5), table.samples()[0]);
  EXPECT_FALSE(table.interpolated_sample(2460000.5 + 1e-9).has_value());
}

TEST(InterpolatedSample, OverflowIsRefused) {
  // Dates whose differences overflow give f = inf / inf; values near the
  // largest double overflow the blend.
  const auto wide = *EarthOrientationTable::from_text("a b c d -1.7e308 0 0 1\na b c d 1.7e308 0 0 2\n", "w", kSha256);
  EXPECT_EQ(message(wide.interpolated_sample(1e308).error()), "EOP epoch, DUT1, and polar motion must be finite");
  const auto big = *EarthOrientationTable::from_text("a b c d 0 0 0 1.7e308\na b c d 1 0 0 -1.7e308\n", "b", kSha256);
  EXPECT_TRUE(big.interpolated_sample(2400000.5 + 0.5).has_value());
  const auto same_sign = *EarthOrientationTable::from_text("a b c d 0 1.7e308 0 0\na b c d 1 1.7e308 0 0\n", "s", kSha256);
  EXPECT_EQ(same_sign.interpolated_sample(2400000.5 + 0.5)->x_arcsec, 1.7e308);
}

TEST(PolarMotion, FromInterpolatedSample) {
  const auto table = two_days();
  const auto pole = table.polar_motion_arcsec(2460001.0);
  ASSERT_TRUE(pole.has_value());
  EXPECT_EQ(pole->first, std::fma(0.01, 0.5, 0.02 * 0.5));
  EXPECT_EQ(pole->second, std::fma(0.3, 0.5, 0.5 * 0.5));
  EXPECT_EQ(table.polar_motion_arcsec(2460003.0).error().kind, EopError::Kind::OutsideCoverage);
}

TEST(UtcFromUt1, InvertsTheDut1Offset) {
  const auto table = two_days();
  const double ut1 = 2460001.0;
  const auto utc = table.utc_julian_day_from_ut1(ut1);
  ASSERT_TRUE(utc.has_value());
  const double dut1 = table.interpolated_sample(*utc)->dut1;
  std::printf("UT1 %.17g -> UTC %.17g, UTC + DUT1 - UT1 = %.3g d\n", ut1, *utc, *utc + dut1 / 86400.0 - ut1);
  // Three steps converge far below a double's resolution at 2.46e6 d (4.7e-10 d).
  EXPECT_NEAR(*utc + dut1 / 86400.0, ut1, 4.7e-10);
}

TEST(UtcFromUt1, Errors) {
  const auto table = two_days();
  EXPECT_EQ(table.utc_julian_day_from_ut1(NAN).error().kind, EopError::Kind::NonFiniteSample);
  // UT1 at the first sample lies inside; its UTC estimate 0.1 s earlier does not.
  const auto early = table.utc_julian_day_from_ut1(2460000.5);
  ASSERT_FALSE(early.has_value());
  EXPECT_EQ(early.error().kind, EopError::Kind::OutsideCoverage);
  EXPECT_EQ(early.error().utc_jd, 2460000.5 - 0.1 / 86400.0);
}

}  // namespace
}  // namespace ephemeris
