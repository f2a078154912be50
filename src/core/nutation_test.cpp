#include "core/nutation.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include <gtest/gtest.h>

#include "core/testdata/erfa_astronomy_reference.h"

namespace ephemeris {
namespace {

// The series must reproduce ERFA's nut00b to rounding: one 0.1 uas unit of any
// coefficient (4.8e-13 rad) would already show at this level, and ERFA's extra
// reduction of each argument to one turn costs well below 1e-15 rad.
constexpr double kToleranceRad = 1e-12;

TEST(NutationIau2000b, AgreesWithErfaNut00b) {
  double worst = 0.0;
  for (const auto& c : testdata::kErfaDateCases) {
    const Nutation n = nutation_iau2000b(c.tt_jd);
    EXPECT_NEAR(n.longitude_rad, c.dpsi, kToleranceRad) << "jd " << c.tt_jd;
    EXPECT_NEAR(n.obliquity_rad, c.deps, kToleranceRad) << "jd " << c.tt_jd;
    worst = std::fmax(worst, std::fmax(std::abs(n.longitude_rad - c.dpsi), std::abs(n.obliquity_rad - c.deps)));
  }
  std::printf("largest |nutation - nut00b| = %.3g rad (tolerance %.0g)\n", worst, kToleranceRad);
}

TEST(NutationIau2000b, NonFiniteDateGivesNonFiniteAngles) {
  EXPECT_TRUE(std::isnan(nutation_iau2000b(std::nan("")).longitude_rad));
  EXPECT_FALSE(std::isfinite(nutation_iau2000b(std::numeric_limits<double>::infinity()).obliquity_rad));
}

}  // namespace
}  // namespace ephemeris
