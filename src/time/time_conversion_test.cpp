#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "time/leap_second_kernel.h"

namespace ephemeris {
namespace {

constexpr std::string_view kKernelText =
#include "time/testdata/leap_second_kernel.inc"
    ;
const std::string kSha256(64, '0');
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

const LeapSecondKernel& kernel() {
  static const LeapSecondKernel loaded = *LeapSecondKernel::from_text(kKernelText, "test.tls", kSha256);
  return loaded;
}

std::string error_text(const std::expected<double, UtcConversionError>& result) {
  return result ? "no error" : message(result.error());
}

TEST(TdbSeconds, UtcUsesTheLeapSecondTable) {
  // 2441317.5 + 42.184/86400 as TT, then the DELTET model.
  const double tt_jd = 2441317.5 + 10.0 / 86400.0 + 32.184 / 86400.0;
  const double t = (tt_jd - 2451545.0) * 86400.0;
  EXPECT_EQ(kernel().tdb_seconds(TimeScale::Utc, 2441317.5), t + kernel().tdb_minus_tt_seconds(t));
  EXPECT_EQ(kernel().tt_julian_day(TimeScale::Utc, 2441317.5), 2441317.5 + 42.184 / 86400.0);
}

TEST(TdbSeconds, RefusesUtcBeforeTheFirstLeapSecond) {
  EXPECT_EQ(error_text(kernel().tdb_seconds(TimeScale::Utc, 2441317.4999)),
            "UTC Julian day 2441317.4999 precedes the kernel's earliest leap-second entry (2441317.5); the offset is "
            "not extrapolated");
  EXPECT_EQ(kernel().tdb_seconds(TimeScale::Utc, 2441317.4999).error().kind,
            UtcConversionError::Kind::BeforeFirstLeapSecond);
}

TEST(TdbSeconds, EntryAppliesFromItsEffectiveDate) {
  // 2017-01-01: TAI-UTC steps from 36 to 37 s.
  const double step = 2457754.5;
  const double before = step - 1e-9;
  EXPECT_EQ(*kernel().tt_julian_day(TimeScale::Utc, step), step + (37.0 + 32.184) / 86400.0);
  EXPECT_EQ(*kernel().tt_julian_day(TimeScale::Utc, before), before + (36.0 + 32.184) / 86400.0);
}

TEST(TdbSeconds, TtIsTheModelOffsetRoundedOnce) {
  for (double tt = 2441317.5; tt < 2470000.0; tt += 123.456) {
    const double t = (tt - 2451545.0) * 86400.0;
    EXPECT_EQ(*kernel().tdb_seconds(TimeScale::Tt, tt), t + kernel().tdb_minus_tt_seconds(t)) << tt;
  }
}

TEST(TdbSeconds, TdbAndTtAtJ2000) {
  EXPECT_EQ(kernel().tdb_seconds(TimeScale::Tdb, 2451545.0), 0.0);
  const double k = 1.657e-3, eb = 1.671e-2, m0 = 6.239996;
  const double model_at_zero = k * std::sin(m0 + eb * std::sin(m0));
  const double tdb = *kernel().tdb_seconds(TimeScale::Tt, 2451545.0);
  std::printf("TDB seconds at TT J2000: wanted about %.17g, got %.17g\n", model_at_zero, tdb);
  // The fixed point moves M by M1 * tdb (1e-11 rad): far below 1e-12 s.
  EXPECT_NEAR(tdb, model_at_zero, 1e-12);
  EXPECT_NEAR(tdb, -7.273677619e-5, 1e-12);  // CSPICE unitim(0, TDT, TDB)
}

TEST(TimeConversion, NanIsRefusedEverywhere) {
  for (TimeScale scale : {TimeScale::Utc, TimeScale::Ut1, TimeScale::Tt, TimeScale::Tdb}) {
    EXPECT_EQ(error_text(kernel().tdb_seconds(scale, kNaN)), "Julian day must be finite");
    EXPECT_EQ(error_text(kernel().tt_julian_day(scale, kNaN)), "Julian day must be finite");
    EXPECT_EQ(error_text(kernel().utc_julian_day(scale, INFINITY)), "Julian day must be finite");
  }
}

TEST(TimeConversion, OverflowingDatesAreRefusedNotReturned) {
  const double huge = std::numeric_limits<double>::max();
  EXPECT_EQ(error_text(kernel().tdb_seconds(TimeScale::Tdb, huge)), "Julian day must be finite");
  EXPECT_EQ(error_text(kernel().tdb_seconds(TimeScale::Tt, huge)), "Julian day must be finite");
  EXPECT_EQ(error_text(kernel().tdb_seconds(TimeScale::Utc, huge)), "Julian day must be finite");
  EXPECT_EQ(error_text(kernel().tt_julian_day(TimeScale::Tdb, -huge)), "Julian day must be finite");
  EXPECT_EQ(error_text(kernel().utc_julian_day(TimeScale::Tdb, huge)), "Julian day must be finite");
}

TEST(TimeConversion, Ut1WithoutTableIsMissingEarthOrientation) {
  const std::string wanted = "UT1 requires an Earth orientation table (DUT1); attach one with SpkEphemeris::with_eop";
  EXPECT_EQ(error_text(kernel().tt_julian_day(TimeScale::Ut1, 2460001.0)), wanted);
  EXPECT_EQ(error_text(kernel().utc_julian_day(TimeScale::Ut1, 2460001.0)), wanted);
  EXPECT_EQ(kernel().utc_julian_day(TimeScale::Ut1, 2460001.0).error().kind,
            UtcConversionError::Kind::MissingEarthOrientation);
}

TEST(TtJulianDay, EachScale) {
  EXPECT_EQ(kernel().tt_julian_day(TimeScale::Tt, 2460001.25), 2460001.25);
  // TDB -> TT removes the model offset taken at the TDB date as if it were TT.
  const double t = (2460001.25 - 2451545.0) * 86400.0;
  const double wanted = (t - kernel().tdb_minus_tt_seconds(t)) / 86400.0 + 2451545.0;
  EXPECT_EQ(kernel().tt_julian_day(TimeScale::Tdb, 2460001.25), wanted);
}

TEST(UtcJulianDay, EachScale) {
  EXPECT_EQ(kernel().utc_julian_day(TimeScale::Utc, 2400000.0), 2400000.0);  // not checked against the table
  const double tt = 2460001.0;
  EXPECT_EQ(kernel().utc_julian_day(TimeScale::Tt, tt), tt - (37.0 + 32.184) / 86400.0);
}

TEST(UtcJulianDay, RoundTripsThroughTtAndTdb) {
  // Worst case over 1972-2050 away from leap-second steps, in days: a few
  // ulps of a Julian date near 2.45e6 (4.7e-10 d each).
  double worst = 0.0;
  for (double utc = 2441320.125; utc < 2469807.5; utc += 97.375) {
    for (TimeScale scale : {TimeScale::Tt, TimeScale::Tdb}) {
      const double there = scale == TimeScale::Tt ? *kernel().tt_julian_day(TimeScale::Utc, utc)
                                                  : *kernel().tdb_seconds(TimeScale::Utc, utc) / 86400.0 + 2451545.0;
      const double back = *kernel().utc_julian_day(scale, there);
      worst = std::max(worst, std::fabs(back - utc));
    }
  }
  std::printf("UTC -> TT/TDB -> UTC worst difference: %.3g d (%.3g s)\n", worst, worst * 86400.0);
  EXPECT_LT(worst, 4 * 4.7e-10);
}

TEST(UtcJulianDay, FirstSecondsAfterTheFirstEntryAreCovered) {
  // TT of UTC 1972-01-01 00:00:00 to 00:00:27: the first estimate, made with
  // the last entry's 37 s, lies before the table; the first entry's 10 s does not.
  for (double seconds : {0.0, 0.5, 1.0, 13.0, 26.9, 27.0, 28.0}) {
    const double utc = 2441317.5 + seconds / 86400.0;
    const double tt = *kernel().tt_julian_day(TimeScale::Utc, utc);
    const auto back = kernel().utc_julian_day(TimeScale::Tt, tt);
    ASSERT_TRUE(back.has_value()) << seconds << " s: " << message(back.error());
    EXPECT_NEAR(*back, utc, 4.7e-10) << seconds << " s";
  }
}

TEST(UtcJulianDay, InsideAnInsertedSecondLandsAfterTheStep) {
  // 2016-12-31 23:59:60.5 UTC has no Julian date; the three fixed-point
  // steps alternate between the two offsets and end after the step.
  const double step = 2457754.5;
  const double tt_at_step = step + (37.0 + 32.184) / 86400.0;
  const double inside = tt_at_step - 0.5 / 86400.0;
  EXPECT_NEAR(*kernel().utc_julian_day(TimeScale::Tt, inside), step + 0.5 / 86400.0, 1e-9);
  EXPECT_NEAR(*kernel().utc_julian_day(TimeScale::Tt, inside - 1.0 / 86400.0), step - 0.5 / 86400.0, 1e-9);
}

TEST(UtcJulianDay, RefusesEstimatesBeforeTheFirstLeapSecond) {
  const auto early = kernel().utc_julian_day(TimeScale::Tt, 2441317.5);
  ASSERT_FALSE(early.has_value());
  EXPECT_EQ(early.error().kind, UtcConversionError::Kind::BeforeFirstLeapSecond);
  // The first estimate uses the last entry's offset: 37 + 32.184 s.
  EXPECT_EQ(early.error().utc_jd, 2441317.5 - (37.0 + 32.184) / 86400.0);
}

TEST(UtcConversionErrorMessage, EveryVariant) {
  EXPECT_EQ(message(UtcConversionError::from(TimeConversionError::unsupported(TimeScale::Ut1))),
            "conversion from Ut1 to TDB is not implemented");
  EXPECT_EQ(message(UtcConversionError::from(EopError::of_kind(EopError::Kind::NoSamples))),
            "EOP table contains no DUT1 samples");
  EXPECT_EQ(message(UtcConversionError::before_first_leap_second(2441317.4999, 2441317.5)),
            "UTC Julian day 2441317.4999 precedes the kernel's earliest leap-second entry (2441317.5); the offset is "
            "not extrapolated");
}

}  // namespace
}  // namespace ephemeris
