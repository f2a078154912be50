#include "core/precession.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <limits>

#include <gtest/gtest.h>

#include "core/constants.h"
#include "core/testdata/erfa_astronomy_reference.h"

namespace ephemeris {
namespace {

// Same polynomials and nutation as ERFA; the remaining difference is rounding
// (about 1e-16 rad), far inside this bound.
constexpr double kToleranceRad = 1e-12;

// Row-major matrix of a rotation, read off its images of the unit vectors.
std::array<double, 9> matrix_of(const OfDateRotation& rotation) {
  std::array<double, 9> m{};
  for (int j = 0; j < 3; ++j) {
    CartesianState unit{};
    unit.position_km[j] = 1.0;
    const CartesianState image = rotation.apply(unit).value();
    for (int i = 0; i < 3; ++i) m[3 * i + j] = image.position_km[i];
  }
  return m;
}

double largest_difference(const std::array<double, 9>& a, const std::array<double, 9>& b) {
  double worst = 0.0;
  for (int k = 0; k < 9; ++k) worst = std::fmax(worst, std::abs(a[k] - b[k]));
  return worst;
}

TEST(PrecessionAngles, AgreeWithErfaPfw06AndObl06) {
  double worst = 0.0;
  for (const auto& c : testdata::kErfaDateCases) {
    const PrecessionAngles a = precession_angles_iau2006(c.tt_jd);
    const std::array<double, 5> got = {a.gamma_bar_rad, a.phi_bar_rad, a.psi_bar_rad, a.mean_obliquity_rad,
                                       mean_obliquity_iau2006(c.tt_jd)};
    const std::array<double, 5> want = {c.gamma_bar, c.phi_bar, c.psi_bar, c.eps_a, c.obl06};
    for (int k = 0; k < 5; ++k) {
      EXPECT_NEAR(got[k], want[k], kToleranceRad) << "angle " << k << " jd " << c.tt_jd;
      worst = std::fmax(worst, std::abs(got[k] - want[k]));
    }
  }
  std::printf("largest |angle - pfw06/obl06| = %.3g rad (tolerance %.0g)\n", worst, kToleranceRad);
}

TEST(PrecessionAngles, AtJ2000AreTheConstantTerms) {
  const PrecessionAngles a = precession_angles_iau2006(kJ2000JulianDay);
  EXPECT_EQ(a.gamma_bar_rad, -0.052928 * kRadiansPerArcsecond);
  EXPECT_EQ(a.phi_bar_rad, 84381.412819 * kRadiansPerArcsecond);
  EXPECT_EQ(a.psi_bar_rad, -0.041775 * kRadiansPerArcsecond);
  EXPECT_EQ(a.mean_obliquity_rad, 84381.406 * kRadiansPerArcsecond);
}

TEST(OfDateRotation, MatchesErfaFw2mWithAndWithoutNutationAndTilt) {
  double worst = 0.0;
  for (const auto& c : testdata::kErfaDateCases) {
    const std::array<double, 9> equatorial = matrix_of(OfDateRotation(c.tt_jd, true, true));
    const std::array<double, 9> ecliptic = matrix_of(OfDateRotation(c.tt_jd, true, false));
    const std::array<double, 9> mean = matrix_of(OfDateRotation(c.tt_jd, false, true));
    for (int k = 0; k < 9; ++k) {
      EXPECT_NEAR(equatorial[k], c.npb_equatorial[k], kToleranceRad) << "element " << k << " jd " << c.tt_jd;
      EXPECT_NEAR(ecliptic[k], c.npb_ecliptic[k], kToleranceRad) << "element " << k << " jd " << c.tt_jd;
      EXPECT_NEAR(mean[k], c.pb_mean_equatorial[k], kToleranceRad) << "element " << k << " jd " << c.tt_jd;
    }
    worst = std::fmax(worst, largest_difference(equatorial, c.npb_equatorial));
    worst = std::fmax(worst, largest_difference(ecliptic, c.npb_ecliptic));
    worst = std::fmax(worst, largest_difference(mean, c.pb_mean_equatorial));
  }
  std::printf("largest |matrix element - fw2m| = %.3g (tolerance %.0g)\n", worst, kToleranceRad);
}

TEST(OfDateRotation, WithoutNutationAtJ2000IsTheFrameBias) {
  // Equatorial: identity up to the frame-bias angles (below 0.1 arcsecond).
  const std::array<double, 9> m = matrix_of(OfDateRotation(kJ2000JulianDay, false, true));
  const double bias = 0.1 * kRadiansPerArcsecond;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(m[3 * i + j], i == j ? 1.0 : 0.0, bias) << i << "," << j;
  // Ecliptic: a tilt about x by the mean obliquity, up to the same angles.
  const std::array<double, 9> e = matrix_of(OfDateRotation(kJ2000JulianDay, false, false));
  const double eps = 84381.406 * kRadiansPerArcsecond;
  const std::array<double, 9> tilt = {1, 0, 0, 0, std::cos(eps), std::sin(eps), 0, -std::sin(eps), std::cos(eps)};
  EXPECT_LT(largest_difference(e, tilt), bias);
}

TEST(OfDateRotation, InverseUndoesApply) {
  const CartesianState state{{1.2e8, -8.5e7, -3.6e7}, {17.5, 22.25, -9.75}};
  for (bool equatorial : {true, false}) {
    for (double jd : {2415020.5, 2451545.0, 2488069.5}) {
      const OfDateRotation rotation(jd, true, equatorial);
      const CartesianState back = rotation.apply_inverse(rotation.apply(state).value()).value();
      for (int i = 0; i < 3; ++i) {
        // A few ulps of the largest component per rotation step.
        EXPECT_NEAR(back.position_km[i], state.position_km[i], 1e-6) << "equatorial " << equatorial;
        EXPECT_NEAR(back.velocity_km_per_s[i], state.velocity_km_per_s[i], 1e-13) << "equatorial " << equatorial;
      }
    }
  }
}

TEST(OfDateRotation, RejectsNonFiniteComponents) {
  const OfDateRotation rotation(2451545.0, true, true);
  const double nan = std::nan("");
  const double inf = std::numeric_limits<double>::infinity();
  for (int k = 0; k < 6; ++k) {
    for (double bad : {nan, inf, -inf}) {
      CartesianState state{{1, 2, 3}, {4, 5, 6}};
      (k < 3 ? state.position_km[k] : state.velocity_km_per_s[k - 3]) = bad;
      EXPECT_EQ(rotation.apply(state).error(), CoordinateError::NonFinite) << "component " << k;
      EXPECT_EQ(rotation.apply_inverse(state).error(), CoordinateError::NonFinite) << "component " << k;
    }
  }
}

TEST(OfDateRotation, NonFiniteDateIsNotDetectedUntilTheStateIsChecked) {
  // The constructor has no failure path; the rotated state is simply NaN.
  const OfDateRotation rotation(std::nan(""), true, true);
  const CartesianState rotated = rotation.apply(CartesianState{{1, 0, 0}, {0, 0, 0}}).value();
  EXPECT_TRUE(std::isnan(rotated.position_km[0]));
}

}  // namespace
}  // namespace ephemeris
