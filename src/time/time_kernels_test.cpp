#include "time/time_kernels.h"

#include <cmath>

#include <gtest/gtest.h>

#include "time/testing/real_data.h"

namespace ephemeris {
namespace {

const LeapSecondKernel& lsk() { return testing::published_leap_seconds(); }

// Three days from MJD 60000 (2023-02-25) with DUT1 0.1, 0.2, 0.4 s.
const EarthOrientationTable& eop() {
  static const EarthOrientationTable table = *EarthOrientationTable::from_text(
      "a b c d 60000 1 2 0.1\na b c d 60001 3 4 0.2\na b c d 60002 5 6 0.4\n", "eop", std::string(64, '0'));
  return table;
}

TimeKernels with(bool leap_seconds, bool table) {
  TimeKernels kernels;
  if (leap_seconds) kernels.set_leap_second_kernel(lsk());
  if (table) kernels.set_eop(eop());
  return kernels;
}

TEST(TimeKernels, EachConversionPath) {
  const TimeKernels none = with(false, false), both = with(true, true);
  const double utc = eop().utc_julian_day_from_ut1(2460001.0).value(), tt = 2460001.0 + 69.184 / 86400.0;
  // Without a leap-second kernel TDB - TT takes the standard DELTET constants, those of the published kernel; but the
  // TT of a TDB date is that date, and a TT instant is its own TT, finite or not.
  EXPECT_EQ(none.tdb_seconds({2460001.0, TimeScale::Tt}), lsk().tdb_seconds(TimeScale::Tt, 2460001.0).value());
  EXPECT_EQ(none.tdb_seconds({2451545.5, TimeScale::Tdb}), 43200.0);
  EXPECT_EQ(none.tt_julian_day({2460001.25, TimeScale::Tdb}), 2460001.25);
  EXPECT_TRUE(std::isnan(none.tt_julian_day({NAN, TimeScale::Tt}).value()));
  EXPECT_EQ(both.tdb_seconds({2460001.0, TimeScale::Ut1}), lsk().tdb_seconds(TimeScale::Utc, utc).value());
  EXPECT_EQ(both.tt_julian_day({2460001.0, TimeScale::Ut1}), utc + (37.0 + 32.184) / 86400.0);
  // UT1 for Earth rotation is the UTC of the instant plus the interpolated DUT1; the pole is taken at that UTC.
  const auto epochs = [&](double jd, TimeScale scale) { return both.earth_rotation_epochs({jd, scale}).value(); };
  EXPECT_EQ(epochs(2460001.25, TimeScale::Ut1).ut1_julian_day, 2460001.25);
  EXPECT_EQ(epochs(2460001.0, TimeScale::Utc).ut1_julian_day, 2460001.0 + std::fma(0.1, 0.5, 0.2 * 0.5) / 86400.0);
  const double utc_of_tt = lsk().utc_julian_day(TimeScale::Tt, tt).value();
  EXPECT_EQ(epochs(tt, TimeScale::Tt).ut1_julian_day, utc_of_tt + eop().interpolated_sample(utc_of_tt)->dut1 / 86400);
  EXPECT_EQ(epochs(tt, TimeScale::Tt).tt_julian_day, tt);
  EXPECT_EQ(both.polar_motion_arcsec(2460001.0), eop().polar_motion_arcsec(utc).value());
  // A finite day whose seconds overflow is no error, with the kernel as without: no kernel range holds the result.
  for (const TimeScale scale : {TimeScale::Tdb, TimeScale::Tt, TimeScale::Utc})
    EXPECT_EQ(both.tdb_seconds({1e306, scale}), INFINITY) << static_cast<int>(scale);
  EXPECT_EQ(none.tdb_seconds({-1e306, TimeScale::Tdb}), -INFINITY);
  // All three of a UT1 day from one conversion to UTC; absent where any of them fails.
  const Ut1DayTimes times = both.ut1_day_times(2460001.25).value();
  EXPECT_EQ(times.tdb_seconds, both.tdb_seconds({2460001.25, TimeScale::Ut1}).value());
  EXPECT_EQ(times.epochs.tt_julian_day, epochs(2460001.25, TimeScale::Ut1).tt_julian_day);
  EXPECT_EQ(times.epochs.ut1_julian_day, 2460001.25);
  EXPECT_EQ(times.pole_arcsec, both.polar_motion_arcsec(2460001.25).value());
  EXPECT_FALSE(both.ut1_day_times(2470000.0) || both.ut1_day_times(NAN) || with(true, false).ut1_day_times(2460001.25));
}

TEST(TimeKernels, EveryErrorText) {
  const TimeKernels none = with(false, false), lsk_only = with(true, false), both = with(true, true);
  const auto text = [](const auto& result) {
    EXPECT_EQ(result.error().kind(), EphemerisError::Kind::TimeConversion);
    return message(result.error());
  };
  const std::string finite = "Julian day must be finite", needs = "topocentric origins require ";
  const std::string no_eop = needs + "an Earth orientation table (DUT1); attach one with SpkEphemeris::with_eop";
  const std::string outside = "UTC Julian day 2470000 is outside EOP coverage [2460000.5, 2460002.5]";
  for (const auto& [got, wanted] : std::initializer_list<std::pair<std::string, std::string>>{
           {text(none.tdb_seconds({0.0, TimeScale::Utc})), "conversion from Utc to TDB is not implemented"},
           {text(none.tdb_seconds({0.0, TimeScale::Ut1})), "conversion from Ut1 to TDB is not implemented"},
           {text(none.tt_julian_day({0.0, TimeScale::Utc})), "conversion from Utc to TDB is not implemented"},
           {text(none.tdb_seconds({NAN, TimeScale::Tt})), finite},
           {text(none.tt_julian_day({INFINITY, TimeScale::Tdb})), finite},
           {text(none.earth_rotation_epochs({0.0, TimeScale::Tt})),
            needs + "a leap-second kernel; attach one with SpkEphemeris::with_leap_second_kernel"},
           {text(lsk_only.earth_rotation_epochs({0.0, TimeScale::Tt})), no_eop},
           {text(none.polar_motion_arcsec(2460001.0)), no_eop},
           {text(lsk_only.tdb_seconds({0.0, TimeScale::Ut1})),
            "UT1 requires an Earth orientation table (DUT1); attach one with SpkEphemeris::with_eop"},
           {text(both.tt_julian_day({NAN, TimeScale::Ut1})), finite},
           {text(both.earth_rotation_epochs({-INFINITY, TimeScale::Ut1})), finite},
           {text(both.tdb_seconds({NAN, TimeScale::Ut1})), "EOP epoch, DUT1, and polar motion must be finite"},
           {text(both.tdb_seconds({2470000.0, TimeScale::Ut1})), outside},
           {text(both.polar_motion_arcsec(2470000.0)), outside},
           {text(both.earth_rotation_epochs({2459000.5, TimeScale::Utc})),
            "UTC Julian day 2459000.5 is outside EOP coverage [2460000.5, 2460002.5]"}}) {
    EXPECT_EQ(got, wanted);
  }
}

}  // namespace
}  // namespace ephemeris
