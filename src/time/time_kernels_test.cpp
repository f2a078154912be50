#include "time/time_kernels.h"

#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

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

// Three days from MJD 60000 (2023-02-25) with DUT1 0.1, 0.2, 0.4 s.
const EarthOrientationTable& eop() {
  static const EarthOrientationTable table = *EarthOrientationTable::from_text(
      "2023 2 25 0 60000.00 0.01 0.02 0.1\n"
      "2023 2 26 0 60001.00 0.03 0.04 0.2\n"
      "2023 2 27 0 60002.00 0.05 0.06 0.4\n",
      "eop.txt", kSha256);
  return table;
}

// Both kernels attached.
const TimeKernels& kernels() {
  static const TimeKernels both = [] {
    TimeKernels k;
    k.set_leap_second_kernel(kernel());
    k.set_eop(eop());
    return k;
  }();
  return both;
}

template <typename T>
std::string error_text(const std::expected<T, EphemerisError>& result) {
  if (result) return "no error";
  EXPECT_EQ(result.error().kind(), EphemerisError::Kind::TimeConversion);
  return message(result.error());
}

TEST(TimeKernels, Ut1GoesThroughTheTable) {
  const auto with_table = kernels().tdb_seconds({2460001.0, TimeScale::Ut1});
  ASSERT_TRUE(with_table.has_value()) << error_text(with_table);
  const double utc = *eop().utc_julian_day_from_ut1(2460001.0);
  EXPECT_EQ(*with_table, *kernel().tdb_seconds(TimeScale::Utc, utc));
  EXPECT_EQ(*kernels().tdb_seconds({2460001.0, TimeScale::Tt}), *kernel().tdb_seconds(TimeScale::Tt, 2460001.0));
  EXPECT_EQ(error_text(kernels().tdb_seconds({2470000.0, TimeScale::Ut1})),
            "UTC Julian day 2470000 is outside EOP coverage [2460000.5, 2460002.5]");
  EXPECT_EQ(*kernels().tt_julian_day({2460001.0, TimeScale::Ut1}), utc + (37.0 + 32.184) / 86400.0);
}

TEST(TimeKernels, NanIsRefusedEverywhere) {
  for (TimeScale scale : {TimeScale::Utc, TimeScale::Ut1, TimeScale::Tt, TimeScale::Tdb}) {
    if (scale != TimeScale::Ut1) {
      EXPECT_EQ(error_text(kernels().tdb_seconds({kNaN, scale})), "Julian day must be finite");
    }
    if (scale != TimeScale::Tt) {
      EXPECT_EQ(error_text(kernels().tt_julian_day({kNaN, scale})), "Julian day must be finite");
    }
    EXPECT_EQ(error_text(kernels().earth_rotation_epochs({-INFINITY, scale})), "Julian day must be finite");
  }
  // A TT instant is its own TT, finite or not.
  EXPECT_TRUE(std::isnan(kernels().tt_julian_day({kNaN, TimeScale::Tt}).value()));
  // UT1 goes through the table, which reports its own finiteness error.
  EXPECT_EQ(error_text(kernels().tdb_seconds({kNaN, TimeScale::Ut1})),
            "EOP epoch, DUT1, and polar motion must be finite");
}

TEST(TimeKernels, Ut1AddsInterpolatedDut1) {
  const auto ut1_of = [](const Instant& instant) { return kernels().earth_rotation_epochs(instant)->ut1_julian_day; };
  EXPECT_EQ(ut1_of({2460001.25, TimeScale::Ut1}), 2460001.25);
  const double utc = 2460001.0;
  EXPECT_EQ(ut1_of({utc, TimeScale::Utc}), utc + std::fma(0.1, 0.5, 0.2 * 0.5) / 86400.0);
  const double tt = utc + (37.0 + 32.184) / 86400.0;
  const double utc_of_tt = *kernel().utc_julian_day(TimeScale::Tt, tt);
  EXPECT_EQ(ut1_of({tt, TimeScale::Tt}), utc_of_tt + eop().interpolated_sample(utc_of_tt)->dut1 / 86400.0);
  EXPECT_EQ(error_text(kernels().earth_rotation_epochs({2459000.5, TimeScale::Utc})),
            "UTC Julian day 2459000.5 is outside EOP coverage [2460000.5, 2460002.5]");
}

TEST(TimeKernels, PoleAtTheUtcOfAUt1Day) {
  const double ut1 = 2460001.0;
  const auto pole = kernels().polar_motion_arcsec(ut1).value();
  EXPECT_EQ(pole, eop().polar_motion_arcsec(*eop().utc_julian_day_from_ut1(ut1)).value());
  EXPECT_EQ(error_text(kernels().polar_motion_arcsec(2470000.0)),
            "UTC Julian day 2470000 is outside EOP coverage [2460000.5, 2460002.5]");
  EXPECT_EQ(error_text(TimeKernels{}.polar_motion_arcsec(ut1)),
            "topocentric origins require an Earth orientation table (DUT1); attach one with SpkEphemeris::with_eop");
}

}  // namespace
}  // namespace ephemeris
