// TimeKernels::julian_day_in: every direction between the four scales.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/julian_day.h"
#include "time/time_kernels.h"

namespace ephemeris {
namespace {

constexpr std::string_view kKernelText =
#include "time/testdata/leap_second_kernel.inc"
    ;
const std::string kSha256(64, '0');
constexpr double kSecond = 1.0 / 86400.0;
constexpr double kLeapDay = 2457754.5;  // 2017-01-01, TAI - UTC 36 -> 37 s
// One unit in the last place of a Julian day of this era (40 us): each conversion rounds once.
constexpr double kUlp = 0x1p-31;

// No kernel, the leap-second kernel only, or both (DUT1 0.1, 0.2, 0.4 s from MJD 60000).
TimeKernels kernels(bool lsk, bool eop) {
  TimeKernels k;
  if (lsk) k.set_leap_second_kernel(*LeapSecondKernel::from_text(kKernelText, "test.tls", kSha256));
  if (eop) {
    k.set_eop(*EarthOrientationTable::from_text("2023 2 25 0 60000.00 0.01 0.02 0.1\n"
                                                "2023 2 26 0 60001.00 0.03 0.04 0.2\n"
                                                "2023 2 27 0 60002.00 0.05 0.06 0.4\n",
                                                "eop.txt", kSha256));
  }
  return k;
}

std::string outcome(const std::expected<double, EphemerisError>& result) {
  return result ? "ok" : message(result.error());
}

TEST(TimeKernelsConvert, ValuesAndRoundTrips) {
  const TimeKernels none = kernels(false, false);
  const TimeKernels both = kernels(true, true);
  const double utc = 2460001.25;
  const double tt = utc + (37.0 + 32.184) * kSecond;
  struct Row {
    const TimeKernels* k;
    Instant from;
    TimeScale to;
    double expected;
  };
  const std::vector<Row> rows = {
      {&none, {utc, TimeScale::Utc}, TimeScale::Utc, utc},  // its own scale needs no kernel
      {&both, {utc, TimeScale::Utc}, TimeScale::Tt, tt},
      {&both, {tt, TimeScale::Tt}, TimeScale::Utc, utc},
      {&both, {utc, TimeScale::Utc}, TimeScale::Ut1, utc + 0.175 * kSecond},
      {&both, {utc, TimeScale::Utc}, TimeScale::Tdb,
       julian_day_from_seconds_since_j2000(*both.tdb_seconds({utc, TimeScale::Utc}))},
      {&none, {tt, TimeScale::Tt}, TimeScale::Tdb,
       julian_day_from_seconds_since_j2000(*none.tdb_seconds({tt, TimeScale::Tt}))},
      // Without a leap-second kernel TDB -> TT still removes TDB - TT (-73 us at J2000).
      {&none, {2451545.0, TimeScale::Tdb}, TimeScale::Tt, 2451545.0 + 7.2717e-05 * kSecond},
      // The second before the leap second, and the first one after it.
      {&both, {kLeapDay + 67.684 * kSecond, TimeScale::Tt}, TimeScale::Utc, kLeapDay - 0.5 * kSecond},
      {&both, {kLeapDay + 69.684 * kSecond, TimeScale::Tt}, TimeScale::Utc, kLeapDay + 0.5 * kSecond},
  };
  for (const Row& row : rows) {
    const auto converted = row.k->julian_day_in(row.from, row.to);
    ASSERT_TRUE(converted.has_value()) << outcome(converted);
    EXPECT_NEAR(*converted, row.expected, kUlp) << row.from.julian_day;
    const auto back = row.k->julian_day_in({*converted, row.to}, row.from.time_scale);
    ASSERT_TRUE(back.has_value()) << outcome(back);
    EXPECT_NEAR(*back, row.from.julian_day, kUlp) << row.from.julian_day;
  }
}

TEST(TimeKernelsConvert, ErrorsNameTheMissingKernelOrCoverage) {
  const TimeKernels none = kernels(false, false);
  const TimeKernels lsk = kernels(true, false);
  const TimeKernels both = kernels(true, true);
  const std::string no_table = "UT1 requires an Earth orientation table (DUT1); attach one with SpkEphemeris::with_eop";
  struct Row {
    const TimeKernels* k;
    Instant from;
    TimeScale to;
    std::string text;
  };
  const std::vector<Row> rows = {
      {&none, {2460001.0, TimeScale::Utc}, TimeScale::Tt, "conversion from Utc to TDB is not implemented"},
      {&none, {2460001.0, TimeScale::Tt}, TimeScale::Utc, "conversion from Utc to TDB is not implemented"},
      {&none, {2460001.0, TimeScale::Tdb}, TimeScale::Ut1, "conversion from Ut1 to TDB is not implemented"},
      {&none, {2460001.0, TimeScale::Utc}, TimeScale::Ut1, no_table},
      {&lsk, {2460001.0, TimeScale::Tt}, TimeScale::Ut1, no_table},
      {&lsk, {2460001.0, TimeScale::Ut1}, TimeScale::Tdb, no_table},
      {&none, {INFINITY, TimeScale::Tt}, TimeScale::Tdb, "Julian day must be finite"},
      {&both, {2440000.5, TimeScale::Utc}, TimeScale::Tt,
       "UTC Julian day 2440000.5 precedes the kernel's earliest leap-second entry (2441317.5); the offset is not "
       "extrapolated"},
      {&both, {2470000.0, TimeScale::Utc}, TimeScale::Ut1,
       "UTC Julian day 2470000 is outside EOP coverage [2460000.5, 2460002.5]"},
      {&both, {kLeapDay + 68.5 * kSecond, TimeScale::Tt}, TimeScale::Utc,
       "TT Julian day 2457754.500792824 falls inside a leap second, which has no UTC Julian day"},
  };
  for (const Row& row : rows) {
    const auto converted = row.k->julian_day_in(row.from, row.to);
    ASSERT_FALSE(converted.has_value()) << row.text;
    EXPECT_EQ(converted.error().kind(), EphemerisError::Kind::TimeConversion);
    EXPECT_EQ(message(converted.error()), row.text);
  }
}

}  // namespace
}  // namespace ephemeris
