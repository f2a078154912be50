// ERFA reference values for the core astronomy tests (see
// tools/make_astronomy_reference.py, which writes the .inc file).
#pragma once

#include <array>

namespace ephemeris::testdata {

struct ErfaDateCase {
  double tt_jd, ut1_jd;
  double dpsi, deps;                               // nut00b
  double gamma_bar, phi_bar, psi_bar, eps_a;       // pfw06
  double obl06, era00, gmst06, gst06;
  double omitted_complementary_terms;             // eect00 less its two largest terms
  std::array<double, 9> npb_equatorial;            // row-major
  std::array<double, 9> npb_ecliptic;
  std::array<double, 9> pb_mean_equatorial;
};

struct ErfaObserverCase {
  double longitude_deg, latitude_deg, height_m, ut1_jd, tt_jd, xp_arcsec, yp_arcsec;
  std::array<double, 3> position_km;
  std::array<double, 3> velocity_km_per_s;
};

#include "core/testdata/erfa_astronomy_reference.inc"

}  // namespace ephemeris::testdata
