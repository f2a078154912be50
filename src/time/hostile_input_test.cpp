// Untrusted tables: huge lines, huge counts and absurd values load or fail
// with their own errors, in time linear in the input.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "time/earth_orientation.h"
#include "time/leap_second_kernel.h"
#include "time/testing/temp_dir.h"
#include "time/text_file.h"

namespace ephemeris {
namespace {

const std::string kSha256(64, 'e');
constexpr std::size_t kHundredMegabytes = std::size_t{100} << 20;
constexpr std::size_t kTenMegabytes = std::size_t{10} << 20;

std::string kernel_with(std::string_view k_value, std::string_view delta_at_value) {
  return "\\begindata\nDELTET/DELTA_T_A = 32.184\nDELTET/K = " + std::string(k_value) +
         "\nDELTET/EB = 1.671D-2\nDELTET/M = ( 6.239996D0 1.99096871D-7 )\nDELTET/DELTA_AT = " +
         std::string(delta_at_value) + "\n";
}

class Stopwatch {
 public:
  double seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

TEST(HostileLeapSecondKernel, HundredMegabyteCommentLine) {
  std::string text(kHundredMegabytes, 'x');
  text += "\n" + kernel_with("1.657D-3", "( 10, @1972-JAN-1 )");
  Stopwatch watch;
  EXPECT_TRUE(LeapSecondKernel::from_text(text, "big.tls", kSha256).has_value());
  std::printf("100 MB comment line: %.2f s\n", watch.seconds());
}

TEST(HostileLeapSecondKernel, HundredMegabyteNumber) {
  // A valid numeral far beyond the double range loads as infinity; the
  // conversions then refuse to return the non-finite results.
  const std::string digits(kHundredMegabytes, '7');
  Stopwatch watch;
  const auto kernel = LeapSecondKernel::from_text(kernel_with(digits, "( 10, @1972-JAN-1 )"), "big.tls", kSha256);
  std::printf("100 MB number: %.2f s\n", watch.seconds());
  ASSERT_TRUE(kernel.has_value());
  EXPECT_EQ(kernel->k(), INFINITY);
  EXPECT_EQ(message(kernel->tdb_seconds(TimeScale::Tt, 2451545.0).error()), "Julian day must be finite");
}

TEST(HostileLeapSecondKernel, LongWhitespaceRunsAndBadToken) {
  const std::string spaces(kTenMegabytes, ' ');
  const auto kernel = LeapSecondKernel::from_text(
      kernel_with("1.657D-3", "( 10," + spaces + "@1972-JAN-1" + spaces + "11, @1972-FEB-0" + spaces + ")"),
      "big.tls", kSha256);
  ASSERT_FALSE(kernel.has_value());
  EXPECT_EQ(message(kernel.error()), "invalid NAIF date literal \"@1972-FEB-0\"");
}

TEST(HostileLeapSecondKernel, MillionEntries) {
  std::string table = "(";
  for (int i = 0; i < 1'000'000; ++i) table += " 10, @1972-JAN-" + std::to_string(i + 1) + "\n";
  table += ")";
  Stopwatch watch;
  const auto kernel = LeapSecondKernel::from_text(kernel_with("1.657D-3", table), "many.tls", kSha256);
  std::printf("1e6 DELTA_AT entries: %.2f s\n", watch.seconds());
  ASSERT_TRUE(kernel.has_value());
  EXPECT_EQ(kernel->entries().size(), 1'000'000u);
  EXPECT_TRUE(kernel->tdb_seconds(TimeScale::Utc, 2451545.0).has_value());
}

TEST(HostileLeapSecondKernel, AbsurdValuesGiveErrorsNotNumbers) {
  const auto kernel = LeapSecondKernel::from_text(kernel_with("nan", "( -inf, @1972-JAN-1 1e308, @2147483647-DEC-4294967295 )"),
                                                  "absurd.tls", kSha256);
  ASSERT_TRUE(kernel.has_value());
  for (TimeScale scale : {TimeScale::Utc, TimeScale::Tt}) {
    EXPECT_EQ(message(kernel->tdb_seconds(scale, 2451545.0).error()), "Julian day must be finite");
  }
  EXPECT_EQ(message(kernel->tt_julian_day(TimeScale::Utc, 2451545.0).error()), "Julian day must be finite");
  EXPECT_EQ(message(kernel->utc_julian_day(TimeScale::Tt, 2451545.0).error()), "Julian day must be finite");
  EXPECT_EQ(message(kernel->utc_julian_day(TimeScale::Tdb, 2451545.0).error()), "Julian day must be finite");
}

TEST(HostileEopTable, MillionsOfLines) {
  std::string text;
  constexpr int kLines = 2'000'000;
  text.reserve(kLines * 32);
  for (int i = 0; i < kLines; ++i) text += "0 0 0 0 " + std::to_string(i) + " 0.1 0.2 0.3\n";
  Stopwatch watch;
  const auto table = EarthOrientationTable::from_text(text, "many.txt", kSha256);
  std::printf("2e6 C04 lines: %.2f s\n", watch.seconds());
  ASSERT_TRUE(table.has_value());
  EXPECT_EQ(table->samples().size(), static_cast<std::size_t>(kLines));
  EXPECT_EQ(table->interpolated_sample(2400000.5 + 1234567.5)->dut1, 0.3);
}

TEST(HostileEopTable, LongLines) {
  const std::string digits(kHundredMegabytes, '9');
  const auto huge_mjd = EarthOrientationTable::from_text("0 0 0 0 " + digits + " 0 0 0\n", "big.txt", kSha256);
  EXPECT_EQ(message(huge_mjd.error()), "EOP epoch, DUT1, and polar motion must be finite");
  const auto huge_field =
      EarthOrientationTable::from_text("0 0 0 0 60000 0 0 0 " + std::string(kTenMegabytes, '9') + "x\n", "big.txt", kSha256);
  EXPECT_TRUE(huge_field.has_value());  // fields past the eighth are not read
  const auto long_gap = EarthOrientationTable::from_text("0 0 0 0" + std::string(kTenMegabytes, '\t') + "60000\n",
                                                         "big.txt", kSha256);
  EXPECT_EQ(message(long_gap.error()), "invalid IERS EOP 20 C04 line 1");
}

TEST(HostileFiles, OversizedFilesAreRefusedUnread) {
  testing::TempDir dir;
  const std::string path = dir.write("huge", "");
  ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(kMaxTextFileBytes) + 1), 0);  // sparse
  EXPECT_EQ(message(LeapSecondKernel::open(path, kSha256).error()),
            "failed to read leap-second kernel: file is larger than 268435456 bytes");
  EXPECT_EQ(message(EarthOrientationTable::open(path, kSha256).error()), "file is larger than 268435456 bytes");
}

}  // namespace
}  // namespace ephemeris
