#include "core/sidereal_time.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include <gtest/gtest.h>

#include "core/constants.h"
#include "core/testdata/erfa_astronomy_reference.h"

namespace ephemeris {
namespace {

// Difference of two angles, folded into (-pi, pi].
double angle_difference(double a, double b) { return std::remainder(a - b, kTwoPi); }

TEST(EarthRotationAngle, AtJ2000IsTheConstantFraction) {
  EXPECT_EQ(earth_rotation_angle(2451545.0), kTwoPi * 0.779057273264);
}

// ERA and GMST use ERFA's formulas; ERFA adds the terms in another order, so
// the difference is a few ulps of 2 pi (~1e-15 rad), well inside 1e-12 rad.
TEST(EarthRotationAngle, AgreesWithErfaEra00AndGmst06) {
  constexpr double kToleranceRad = 1e-12;
  double worst = 0.0;
  for (const auto& c : testdata::kErfaDateCases) {
    const double era = earth_rotation_angle(c.ut1_jd);
    const double gmst = greenwich_mean_sidereal_time_iau2006(c.ut1_jd, c.tt_jd);
    EXPECT_NEAR(angle_difference(era, c.era00), 0.0, kToleranceRad) << "ut1 " << c.ut1_jd;
    EXPECT_NEAR(angle_difference(gmst, c.gmst06), 0.0, kToleranceRad) << "ut1 " << c.ut1_jd;
    worst = std::fmax(worst, std::fmax(std::abs(angle_difference(era, c.era00)),
                                       std::abs(angle_difference(gmst, c.gmst06))));
  }
  std::printf("largest |ERA - era00|, |GMST - gmst06| = %.3g rad (tolerance %.0g)\n", worst, kToleranceRad);
}

// ERFA's gst06 carries the whole series of complementary terms of the
// equation of the equinoxes; this sum keeps only the two largest. Once ERFA's
// omitted terms (eect00 less those two) are added back, what is left is the
// CIO-based route of gst06 against the equinox-based sum here, with 2000B
// nutation in both: a few 1e-12 rad over 1900-2100.
TEST(GreenwichApparentSiderealTime, AgreesWithErfaGst06ApartFromTheOmittedTerms) {
  constexpr double kToleranceRad = 1e-11;
  double worst = 0.0;
  for (const auto& c : testdata::kErfaDateCases) {
    const double gast = greenwich_apparent_sidereal_time_iau2006(c.ut1_jd, c.tt_jd);
    const double difference = angle_difference(gast + c.omitted_complementary_terms, c.gst06);
    EXPECT_NEAR(difference, 0.0, kToleranceRad) << "ut1 " << c.ut1_jd;
    worst = std::fmax(worst, std::abs(difference));
  }
  std::printf("largest |GAST + omitted terms - gst06| = %.3g rad (tolerance %.0g)\n", worst, kToleranceRad);
}

// Raw comparison: the omitted complementary terms have amplitudes summing to
// about 43 uas (2.1e-10 rad); 1.6e-10 rad is reached within 1900-2100.
TEST(GreenwichApparentSiderealTime, AgreesWithErfaGst06WithinTheOmittedTerms) {
  constexpr double kToleranceRad = 2.5e-10;
  double worst = 0.0;
  for (const auto& c : testdata::kErfaDateCases) {
    const double gast = greenwich_apparent_sidereal_time_iau2006(c.ut1_jd, c.tt_jd);
    EXPECT_NEAR(angle_difference(gast, c.gst06), 0.0, kToleranceRad) << "ut1 " << c.ut1_jd;
    worst = std::fmax(worst, std::abs(angle_difference(gast, c.gst06)));
  }
  std::printf("largest |GAST - gst06| = %.3g rad (tolerance %.2g)\n", worst, kToleranceRad);
}

TEST(GreenwichApparentSiderealTime, PrecomputedNutationGivesTheSameAngle) {
  for (const auto& c : testdata::kErfaDateCases) {
    EXPECT_EQ(greenwich_apparent_sidereal_time_iau2006(c.ut1_jd, c.tt_jd),
              greenwich_apparent_sidereal_time_iau2006(c.ut1_jd, c.tt_jd, nutation_iau2000b(c.tt_jd)));
  }
}

TEST(LocalApparentSiderealTime, StaysInOneTurnForAnyLongitudeAndDate) {
  for (double longitude : {-3.0, -1e-17, 0.0, 1.0, 6.283185307179585, 10.0}) {
    for (double jd : {2305447.5, 2415020.3, 2451544.9, 2451545.0, 2488070.1}) {
      const double last = local_apparent_sidereal_time_iau2006(longitude, jd, jd + 0.0008);
      EXPECT_GE(last, 0.0);
      EXPECT_LT(last, kTwoPi);
      const double gast = greenwich_apparent_sidereal_time_iau2006(jd, jd + 0.0008);
      EXPECT_NEAR(angle_difference(last, gast + longitude), 0.0, 1e-14);
    }
  }
}

TEST(LocalApparentSiderealTime, NonFiniteInputGivesNonFiniteResult) {
  const double nan = std::nan("");
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_FALSE(std::isfinite(local_apparent_sidereal_time_iau2006(nan, 2451545.0, 2451545.0)));
  EXPECT_FALSE(std::isfinite(local_apparent_sidereal_time_iau2006(0.0, inf, 2451545.0)));
  EXPECT_FALSE(std::isfinite(local_apparent_sidereal_time_iau2006(0.0, 2451545.0, -inf)));
}

}  // namespace
}  // namespace ephemeris
