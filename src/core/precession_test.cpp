// Precession-nutation and sidereal time against ERFA (tools/make_astronomy_reference.py), and the ayanamsha.
#include "core/precession.h"

#include <array>
#include <cmath>

#include <gtest/gtest.h>

#include "core/ayanamsha.h"
#include "core/constants.h"
#include "core/nutation.h"
#include "core/sidereal_time.h"
#include "core/testdata/erfa_astronomy_reference.h"

namespace ephemeris {
namespace {

// The series must reproduce ERFA's nut00b to rounding: one 0.1 uas unit of any coefficient (4.8e-13 rad) would already
// show at 1e-12 rad, and ERFA's extra reduction of each argument to one turn costs well below 1e-15 rad. The precession
// angles and matrices use the same polynomials and nutation as ERFA; the remaining difference is rounding (about 1e-16
// rad).
constexpr double kToleranceRad = 1e-12;

TEST(NutationAndPrecessionAngles, AgreeWithErfaNut00bPfw06AndObl06) {
  for (const auto& c : testdata::kErfaDateCases) {
    const Nutation n = nutation_iau2000b(c.tt_jd);
    const PrecessionAngles a = precession_angles_iau2006(c.tt_jd);
    const std::array<double, 7> got = {n.longitude_rad, n.obliquity_rad,  a.gamma_bar_rad,
                                       a.phi_bar_rad,   a.psi_bar_rad,    a.mean_obliquity_rad,
                                       mean_obliquity_iau2006(c.tt_jd)};
    const std::array<double, 7> want = {c.dpsi, c.deps, c.gamma_bar, c.phi_bar, c.psi_bar, c.eps_a, c.obl06};
    for (int k = 0; k < 7; ++k) EXPECT_NEAR(got[k], want[k], kToleranceRad) << "angle " << k << " jd " << c.tt_jd;
  }
}

TEST(OfDateRotation, MatchesErfaFw2mWithAndWithoutNutationAndTilt) {
  for (const auto& c : testdata::kErfaDateCases) {
    for (const auto& [nutation, equatorial, want] : {std::tuple{true, true, &c.npb_equatorial},
                                                     {true, false, &c.npb_ecliptic},
                                                     {false, true, &c.pb_mean_equatorial}}) {
      for (int j = 0; j < 3; ++j) {  // column j is the image of unit vector j
        CartesianState unit{};
        unit.position_km[j] = 1.0;
        const auto image = OfDateRotation(c.tt_jd, nutation, equatorial).apply(unit)->position_km;
        const Nutation given = nutation ? nutation_iau2000b(c.tt_jd) : Nutation{};
        EXPECT_EQ(OfDateRotation(c.tt_jd, given, equatorial).apply(unit)->position_km, image);
        for (int i = 0; i < 3; ++i)
          EXPECT_NEAR(image[i], (*want)[3 * i + j], kToleranceRad) << i << j << nutation << equatorial << c.tt_jd;
      }
    }
  }
}

TEST(OfDateRotation, InverseUndoesApplyAndNonFiniteStatesAreRefused) {
  const CartesianState state{{1.2e8, -8.5e7, -3.6e7}, {17.5, 22.25, -9.75}};
  for (bool equatorial : {true, false}) {
    const OfDateRotation rotation(2488069.5, true, equatorial);
    const CartesianState back = rotation.apply_inverse(rotation.apply(state).value()).value();
    for (int i = 0; i < 3; ++i) {  // a few ulps of the largest component per rotation step
      EXPECT_NEAR(back.position_km[i], state.position_km[i], 1e-6) << "equatorial " << equatorial;
      EXPECT_NEAR(back.velocity_km_per_s[i], state.velocity_km_per_s[i], 1e-13) << "equatorial " << equatorial;
    }
    for (int k = 0; k < 6; ++k) {
      CartesianState bad = state;
      (k < 3 ? bad.position_km[k] : bad.velocity_km_per_s[k - 3]) = k % 2 ? NAN : -INFINITY;
      EXPECT_EQ(rotation.apply(bad).error(), CoordinateError::NonFinite) << "component " << k;
      EXPECT_EQ(rotation.apply_inverse(bad).error(), CoordinateError::NonFinite) << "component " << k;
    }
  }
}

TEST(AyanamshaDeg, DefiningValuesPublishedJ2000ValuesAndRate) {
  // The defining values (to rounding: the epochs are stored in centuries), then published J2000 values to 1e-4 degree.
  EXPECT_NEAR(ayanamsha_deg(SiderealMode::Lahiri, 2435553.5).value(), 23.25, 1e-12);
  EXPECT_NEAR(ayanamsha_deg(SiderealMode::FaganBradley, 2433282.42345905).value(), 24.042044444444446, 1e-12);
  EXPECT_NEAR(ayanamsha_deg(SiderealMode::Lahiri, 2451545.0).value(), 23.8615, 1e-4);
  EXPECT_NEAR(ayanamsha_deg(SiderealMode::FaganBradley, 2451545.0).value(), 24.7404, 1e-4);
  // The rate is the central difference over +-1 day: truncation below 1e-19 deg/day, rounding of the two 24-degree
  // values about 4e-15 / 2 deg/day.
  for (double jd : {2415020.0, 2451545.0, 2488070.0}) {
    const double slope = (ayanamsha_deg(SiderealMode::Lahiri, jd + 1.0).value() -
                          ayanamsha_deg(SiderealMode::Lahiri, jd - 1.0).value()) / 2.0;
    EXPECT_NEAR(ayanamsha_rate_deg_per_day(jd).value(), slope, 1e-14) << "jd " << jd;
  }
  EXPECT_EQ(ayanamsha_deg(SiderealMode::FaganBradley, NAN).error(), CoordinateError::NonFinite);
  EXPECT_EQ(ayanamsha_rate_deg_per_day(-INFINITY).error(), CoordinateError::NonFinite);
}

// Difference of two angles, folded into (-pi, pi].
double angle_difference(double a, double b) { return std::remainder(a - b, kTwoPi); }

// ERA and GMST use ERFA's formulas; ERFA adds the terms in another order, so the difference is a few ulps of 2 pi
// (~1e-15 rad), well inside 1e-12 rad. ERFA's gst06 carries the whole series of complementary terms of the equation of
// the equinoxes, GAST only the two largest: once ERFA's omitted terms (eect00 less those two) are added back, what is
// left is the CIO-based route of gst06 against the equinox-based sum here, with 2000B nutation in both: a few 1e-12 rad
// over 1900-2100, inside 1e-11 rad.
TEST(SiderealTime, AgreesWithErfaEra00Gmst06AndGst06) {
  for (const auto& c : testdata::kErfaDateCases) {
    SCOPED_TRACE(::testing::Message() << "ut1 " << c.ut1_jd);
    EXPECT_NEAR(angle_difference(earth_rotation_angle(c.ut1_jd), c.era00), 0.0, 1e-12);
    EXPECT_NEAR(angle_difference(greenwich_mean_sidereal_time_iau2006(c.ut1_jd, c.tt_jd), c.gmst06), 0.0, 1e-12);
    const double gast = greenwich_apparent_sidereal_time_iau2006(c.ut1_jd, c.tt_jd);
    EXPECT_NEAR(angle_difference(gast + c.omitted_complementary_terms, c.gst06), 0.0, 1e-11);
    EXPECT_EQ(gast, greenwich_apparent_sidereal_time_iau2006(c.ut1_jd, c.tt_jd, nutation_iau2000b(c.tt_jd)));
  }
}

TEST(LocalApparentSiderealTime, StaysInOneTurnForAnyLongitudeAndDate) {
  for (double longitude : {-3.0, -1e-17, 0.0, 6.283185307179585, 10.0}) {
    for (double jd : {2305447.5, 2451544.9, 2488070.1}) {
      const double last = local_apparent_sidereal_time_iau2006(longitude, jd, jd + 0.0008);
      EXPECT_TRUE(last >= 0.0 && last < kTwoPi) << last;
      const double gast = greenwich_apparent_sidereal_time_iau2006(jd, jd + 0.0008);
      EXPECT_NEAR(angle_difference(last, gast + longitude), 0.0, 1e-14);
      EXPECT_EQ(local_sidereal_time(longitude, gast), last);
    }
  }
  EXPECT_TRUE(std::isnan(local_apparent_sidereal_time_iau2006(NAN, 2451545.0, 2451545.0)));  // not masked
}

}  // namespace
}  // namespace ephemeris
