// UTC, TT and TDB on the published leap-second table, and against CSPICE run on the same kernel
// (tools/make_time_reference.py).
#include <algorithm>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "time/leap_second_kernel.h"
#include "time/testing/real_data.h"

namespace ephemeris {
namespace {

#include "time/testdata/time_reference.inc"

const LeapSecondKernel& kernel() { return testing::published_leap_seconds(); }

std::string error_text(const std::expected<double, UtcConversionError>& result) {
  return result ? "no error" : message(result.error());
}

// str2et reads the calendar text in its own arithmetic; both sides carry about 1e-7 s of rounding at 1e9 s, so 1e-4 s
// is a wide margin. The round trip back through TDB stays within 4 ulps of a Julian date (4 * 4.7e-10 d), but
// at a step itself the TDB date can round into the inserted second, which has no UTC Julian date.
TEST(CspiceReference, UtcToTdbMatchesStr2etAndTheRoundTripsRecoverTheInstant) {
  for (const auto& row : kUtcToTdbReference) {
    const double tdb = kernel().tdb_seconds(TimeScale::Utc, row.utc_jd).value();
    EXPECT_NEAR(tdb, row.tdb_seconds, 1e-4) << "UTC JD " << row.utc_jd;
    if (std::ranges::any_of(kernel().entries(), [&](const auto& e) { return e.effective_jd == row.utc_jd; })) continue;
    EXPECT_NEAR(kernel().utc_julian_day(TimeScale::Tdb, tdb / 86400.0 + 2451545.0).value(), row.utc_jd, 4 * 4.7e-10);
  }
}

// Both add the same offset to t and round once, so TDB - TT taken from the returned epochs must agree to 1e-9 s (in
// fact exactly). CSPICE's deltet, evaluated at unitim's epoch, departs from a direct evaluation of the same formula
// by up to 2e-10 s at the far ends of 1972-2050.
TEST(CspiceReference, TdbMinusTtMatchesUnitim) {
  for (const auto& row : kTtToTdbReference) {
    const double t = (row.tt_jd - 2451545.0) * 86400.0;
    const double tdb = kernel().tdb_seconds(TimeScale::Tt, row.tt_jd).value();
    EXPECT_EQ(tdb, t + kernel().tdb_minus_tt_seconds(t)) << "TT JD " << row.tt_jd;  // the offset rounded once
    EXPECT_NEAR(tdb - t, row.tdb_seconds - t, 1e-9) << "TT JD " << row.tt_jd;
    EXPECT_NEAR(kernel().tdb_minus_tt_seconds(t), row.tdb_minus_tt_seconds, 1e-9) << "TT JD " << row.tt_jd;
  }
}

TEST(TimeConversion, UtcInsideAnInsertedSecondAndJustAfterTheFirstEntry) {
  EXPECT_EQ(kernel().utc_julian_day(TimeScale::Utc, 2400000.0), 2400000.0);  // not checked against the table
  // 2016-12-31 23:59:60.5 UTC has no Julian date; the three fixed-point steps alternate between the two offsets
  // and end after the step.
  const double step = 2457754.5, inside = step + (37.0 + 32.184 - 0.5) / 86400.0;
  EXPECT_NEAR(kernel().utc_julian_day(TimeScale::Tt, inside).value(), step + 0.5 / 86400.0, 1e-9);
  EXPECT_NEAR(kernel().utc_julian_day(TimeScale::Tt, inside - 1.0 / 86400.0).value(), step - 0.5 / 86400.0, 1e-9);
  // TT of UTC 1972-01-01 00:00:00 to 00:00:27: the first estimate, made with the last entry's 37 s, lies before the
  // table; the first entry's 10 s does not.
  for (double seconds : {0.0, 13.0, 26.9, 27.0, 28.0}) {
    const double utc = 2441317.5 + seconds / 86400.0;
    const double tt = kernel().tt_julian_day(TimeScale::Utc, utc).value();
    EXPECT_NEAR(kernel().utc_julian_day(TimeScale::Tt, tt).value(), utc, 4.7e-10) << seconds << " s";
  }
}

TEST(TimeConversion, EveryErrorText) {
  constexpr double kHuge = std::numeric_limits<double>::max();
  const std::string non_finite = "Julian day must be finite";
  for (TimeScale scale : {TimeScale::Utc, TimeScale::Ut1, TimeScale::Tt, TimeScale::Tdb}) {
    EXPECT_EQ(error_text(kernel().tdb_seconds(scale, NAN)), non_finite);
    EXPECT_EQ(error_text(kernel().tt_julian_day(scale, NAN)), non_finite);
    EXPECT_EQ(error_text(kernel().utc_julian_day(scale, INFINITY)), non_finite);
  }
  // Finite dates whose results overflow, and an absurd kernel, give errors, not numbers.
  EXPECT_EQ(error_text(kernel().tdb_seconds(TimeScale::Tdb, kHuge)), non_finite);
  EXPECT_EQ(error_text(kernel().tdb_seconds(TimeScale::Tt, kHuge)), non_finite);
  EXPECT_EQ(error_text(kernel().tt_julian_day(TimeScale::Tdb, -kHuge)), non_finite);
  const auto absurd = LeapSecondKernel::from_text(
      "\\begindata\nDELTET/DELTA_T_A = 0\nDELTET/K = 0\nDELTET/EB = 0\nDELTET/M = ( 0 0 )\n"
      "DELTET/DELTA_AT = ( -inf, @1972-JAN-1 )",
      "k", std::string(64, '0')).value();
  EXPECT_EQ(error_text(absurd.tdb_seconds(TimeScale::Utc, 2451545.0)), non_finite);
  EXPECT_EQ(error_text(absurd.tt_julian_day(TimeScale::Utc, 2451545.0)), non_finite);
  EXPECT_EQ(error_text(absurd.utc_julian_day(TimeScale::Tt, 2451545.0)), non_finite);
  const std::string needs_eop =
      "UT1 requires an Earth orientation table (DUT1); attach one with SpkEphemeris::with_eop";
  EXPECT_EQ(error_text(kernel().tt_julian_day(TimeScale::Ut1, 2460001.0)), needs_eop);
  EXPECT_EQ(error_text(kernel().utc_julian_day(TimeScale::Ut1, 2460001.0)), needs_eop);
  EXPECT_EQ(error_text(kernel().tdb_seconds(TimeScale::Ut1, 0.0)), "conversion from Ut1 to TDB is not implemented");
  EXPECT_EQ(error_text(kernel().tdb_seconds(TimeScale::Utc, 2441317.4999)),
            "UTC Julian day 2441317.4999 precedes the kernel's earliest leap-second entry (2441317.5); the offset is "
            "not extrapolated");
  // The first estimate of UTC from TT uses the last entry's offset: 37 + 32.184 s.
  EXPECT_EQ(kernel().utc_julian_day(TimeScale::Tt, 2441317.5).error(),
            UtcConversionError::before_first_leap_second(2441317.5 - (37.0 + 32.184) / 86400.0, 2441317.5));
}

}  // namespace
}  // namespace ephemeris
