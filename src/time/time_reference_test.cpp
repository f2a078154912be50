// Conversions compared with CSPICE, run on the same leap-second kernel
// (tools/make_time_reference.py).
#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>

#include "time/leap_second_kernel.h"

namespace ephemeris {
namespace {

#include "time/testdata/time_reference.inc"

constexpr std::string_view kKernelText =
#include "time/testdata/leap_second_kernel.inc"
    ;

LeapSecondKernel load_kernel() { return *LeapSecondKernel::from_text(kKernelText, "test.tls", std::string(64, 'c')); }

TEST(CspiceReference, UtcToTdbSecondsMatchesStr2et) {
  const auto kernel = load_kernel();
  double worst = 0.0;
  for (const auto& row : kUtcToTdbReference) {
    const auto tdb = kernel.tdb_seconds(TimeScale::Utc, row.utc_jd);
    ASSERT_TRUE(tdb.has_value()) << message(tdb.error());
    // 1e-4 s: str2et reads the calendar text in its own arithmetic; both
    // sides carry about 1e-7 s of rounding at 1e9 s, so this margin is wide.
    EXPECT_NEAR(*tdb, row.tdb_seconds, 1e-4) << "UTC JD " << row.utc_jd;
    worst = std::max(worst, std::fabs(*tdb - row.tdb_seconds));
  }
  std::printf("%zu UTC instants, 1972-2050: largest |ours - str2et| = %.3g s (tolerance 1e-4 s)\n",
              std::size(kUtcToTdbReference), worst);
}

TEST(CspiceReference, TdbMinusTtMatchesUnitim) {
  const auto kernel = load_kernel();
  double worst_model = 0.0;
  double worst_epoch = 0.0;
  for (const auto& row : kTtToTdbReference) {
    const double t = (row.tt_jd - 2451545.0) * 86400.0;
    // The epochs: both add the same offset to t and round once, so TDB - TT
    // taken from the returned epochs must agree to 1e-9 s (in fact exactly).
    const double tdb = *kernel.tdb_seconds(TimeScale::Tt, row.tt_jd);
    EXPECT_NEAR(tdb - t, row.tdb_seconds - t, 1e-9) << "TT JD " << row.tt_jd;
    worst_epoch = std::max(worst_epoch, std::fabs((tdb - t) - (row.tdb_seconds - t)));
    // The model offset before rounding to the epoch. CSPICE's deltet,
    // evaluated at unitim's epoch, departs from a direct evaluation of the
    // same formula by up to 2e-10 s at the far ends of 1972-2050.
    const double offset = kernel.tdb_minus_tt_seconds(t);
    EXPECT_NEAR(offset, row.tdb_minus_tt_seconds, 1e-9) << "TT JD " << row.tt_jd;
    worst_model = std::max(worst_model, std::fabs(offset - row.tdb_minus_tt_seconds));
  }
  std::printf("%zu TT instants: largest TDB-TT difference from unitim %.3g s, unrounded model %.3g s "
              "(tolerance 1e-9 s)\n",
              std::size(kTtToTdbReference), worst_epoch, worst_model);
}

TEST(CspiceReference, TdbBackToUtcRecoversTheInstant) {
  const auto kernel = load_kernel();
  double worst = 0.0;
  for (const auto& row : kUtcToTdbReference) {
    // At a step itself the rounding of the TDB date can put it inside the
    // inserted second, which has no UTC Julian date (see UtcJulianDay tests).
    const bool at_step = std::ranges::any_of(
        kernel.entries(), [&](const LeapSecondEntry& e) { return e.effective_jd == row.utc_jd; });
    if (at_step) continue;
    const double tdb_jd = row.tdb_seconds / 86400.0 + 2451545.0;
    const auto utc = kernel.utc_julian_day(TimeScale::Tdb, tdb_jd);
    ASSERT_TRUE(utc.has_value()) << message(utc.error());
    worst = std::max(worst, std::fabs(*utc - row.utc_jd) * 86400.0);
  }
  std::printf("TDB (from str2et) -> UTC: largest difference %.3g s\n", worst);
  // A few ulps of a Julian date near 2.45e6 (4e-5 s each).
  EXPECT_LT(worst, 2e-4);
}

}  // namespace
}  // namespace ephemeris
