// IAU 2006 precession in the Fukushima-Williams form, and the combined
// precession-nutation rotation between the GCRS/J2000 axes and the axes of date.
#pragma once

#include <expected>

#include "core/cartesian_state.h"
#include "core/errors.h"
#include "core/nutation.h"

namespace ephemeris {

// The four Fukushima-Williams angles of IAU 2006 precession, radians.
struct PrecessionAngles {
  double gamma_bar_rad = 0.0;       // GCRS pole to ecliptic-of-date node, along the GCRS equator
  double phi_bar_rad = 0.0;         // obliquity of the ecliptic of date on the GCRS equator
  double psi_bar_rad = 0.0;         // precession in longitude along the ecliptic of date
  double mean_obliquity_rad = 0.0;  // epsilon_A, mean obliquity of date
};

// Fukushima-Williams angles at Julian date `jd` (TT or TDB). Never fails.
PrecessionAngles precession_angles_iau2006(double jd);

// IAU 2006 mean obliquity of the ecliptic at Julian date `jd` (TT or TDB),
// radians (84381.406 arcseconds at J2000). Never fails.
double mean_obliquity_iau2006(double jd);

// Rotation from the GCRS/J2000 axes to the true equator and equinox of date
// (`equatorial`) or to the ecliptic and equinox of date (not `equatorial`),
// built directly from the four angles with IAU 2000B nutation added to psi and
// epsilon. Holds only sines and cosines, so applying it costs multiplications.
class OfDateRotation {
 public:
  // Rotation at Julian date `jd` (TT or TDB). With `nutation` false the
  // nutation angles are exactly zero (mean equator/ecliptic of date) and the
  // series is not evaluated. Never fails; a non-finite date gives NaN angles.
  OfDateRotation(double jd, bool nutation, bool equatorial);

  // The same with nutation, given as `nutation` = nutation_iau2000b(jd) by a
  // caller that needs the series at `jd` itself too (the result is bit for
  // bit that of the constructor above).
  OfDateRotation(double jd, const Nutation& nutation, bool equatorial);

  // GCRS/J2000 axes to axes of date. Position and velocity are rotated by the
  // same matrix (the rotation's own rate is neglected); units are kept.
  // Error: NonFinite when any input component is NaN or infinite.
  std::expected<CartesianState, CoordinateError> apply(const CartesianState& state) const;

  // Axes of date back to GCRS/J2000: the exact transpose of `apply`.
  // Error: NonFinite when any input component is NaN or infinite.
  std::expected<CartesianState, CoordinateError> apply_inverse(const CartesianState& state) const;

  bool equatorial() const { return equatorial_; }

 private:
  double sin_gamma_, cos_gamma_;  // gamma bar
  double sin_phi_, cos_phi_;      // phi bar
  double sin_psi_, cos_psi_;      // psi bar + delta psi
  double sin_eps_, cos_eps_;      // epsilon_A + delta epsilon
  bool equatorial_;
};

}  // namespace ephemeris
