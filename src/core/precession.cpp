#include "core/precession.h"

#include <array>
#include <cmath>

#include "core/constants.h"
#include "core/double_lanes.h"
#include "core/julian_day.h"
#include "core/sine_cosine.h"

namespace ephemeris {
namespace {

using Polynomial = std::array<double, 6>;  // coefficients of t^0 .. t^5, arcseconds

// IAU 2006 Fukushima-Williams angles (Hilton et al. 2006), arcseconds.
constexpr Polynomial kGammaBar = {-0.052928, 10.556378, 0.4932044, -0.00031238, -0.000002788, 0.000000026};
constexpr Polynomial kPhiBar = {84381.412819, -46.811016, 0.0511268, 0.00053289, -0.00000044, -0.0000000176};
constexpr Polynomial kPsiBar = {-0.041775, 5038.481484, 1.5584175, -0.00018522, -0.000026452, -0.0000000148};
constexpr Polynomial kMeanObliquity = {84381.406, -46.836769, -0.0001831, 0.0020034, -0.000000576, -0.0000000434};

// Horner's rule with fused multiply-add from the t^5 coefficient down; the
// result is converted from arcseconds to radians.
[[gnu::always_inline]] inline double polynomial_radians(const Polynomial& c, double t) {
  double value = c[5];
  for (int k = 4; k >= 0; --k) value = std::fma(value, t, c[k]);
  return value * kRadiansPerArcsecond;
}

// The four angles, built once with the library's fused multiply-add and once
// with the processor's (the same bits, without a call per operation).
[[gnu::always_inline]] inline PrecessionAngles angles_at(double t) {
  return PrecessionAngles{polynomial_radians(kGammaBar, t), polynomial_radians(kPhiBar, t),
                          polynomial_radians(kPsiBar, t), polynomial_radians(kMeanObliquity, t)};
}
PrecessionAngles angles_generic(double t) { return angles_at(t); }
[[gnu::target("avx2,fma")]] PrecessionAngles angles_wide(double t) { return angles_at(t); }
double obliquity_generic(double t) { return polynomial_radians(kMeanObliquity, t); }
[[gnu::target("avx2,fma")]] double obliquity_wide(double t) { return polynomial_radians(kMeanObliquity, t); }

// The sines and cosines of the rotation's four angles gamma bar, phi bar,
// psi bar + delta psi and epsilon_A + delta epsilon at t Julian centuries
// since J2000, the angles kept in registers on their way to the sine_cosine
// kernel (the same bits as sine_cosine in both builds).
[[gnu::always_inline]] inline void rotation_sines_cosines(double t, const Nutation& n, double (&sines)[4],
                                                          double (&cosines)[4]) {
  const PrecessionAngles angles = angles_at(t);
  const double psi = angles.psi_bar_rad + n.longitude_rad;
  const double eps = angles.mean_obliquity_rad + n.obliquity_rad;
  const double rotation_angles[4] = {angles.gamma_bar_rad, angles.phi_bar_rad, psi, eps};
  bool reduced = true;  // false for NaN: sine_cosine sends it to libm
  for (const double angle : rotation_angles) reduced = reduced && std::fabs(angle) <= kSineCosineLimit;
  if (!reduced) {
    sine_cosine(4, rotation_angles, sines, cosines);
    return;
  }
  const Double4 x = {rotation_angles[0], rotation_angles[1], rotation_angles[2], rotation_angles[3]};
  Double4 sine, cosine;
  sine_cosine_lanes(x, sine, cosine);
  __builtin_memcpy(sines, &sine, sizeof sines);
  __builtin_memcpy(cosines, &cosine, sizeof cosines);
}
void rotation_sines_cosines_generic(double t, const Nutation& n, double (&sines)[4], double (&cosines)[4]) {
  rotation_sines_cosines(t, n, sines, cosines);
}
[[gnu::target("avx2,fma")]] void rotation_sines_cosines_wide(double t, const Nutation& n, double (&sines)[4],
                                                             double (&cosines)[4]) {
  rotation_sines_cosines(t, n, sines, cosines);
}

using Vector = std::array<double, 3>;

// Rotations of the coordinate axes by the angle whose sine and cosine are given.
Vector rotate_x(const Vector& v, double s, double c) {
  return {v[0], c * v[1] + s * v[2], -s * v[1] + c * v[2]};
}
Vector rotate_z(const Vector& v, double s, double c) {
  return {c * v[0] + s * v[1], -s * v[0] + c * v[1], v[2]};
}

}  // namespace

PrecessionAngles precession_angles_iau2006(double jd) {
  const double t = julian_centuries_since_j2000(jd);
  return has_avx2_fma() ? angles_wide(t) : angles_generic(t);
}

double mean_obliquity_iau2006(double jd) {
  const double t = julian_centuries_since_j2000(jd);
  return has_avx2_fma() ? obliquity_wide(t) : obliquity_generic(t);
}

OfDateRotation::OfDateRotation(double jd, bool nutation, bool equatorial)
    : OfDateRotation(jd, nutation ? nutation_iau2000b(jd) : Nutation{0.0, 0.0}, equatorial) {}

OfDateRotation::OfDateRotation(double jd, const Nutation& n, bool equatorial) : equatorial_(equatorial) {
  const double t = julian_centuries_since_j2000(jd);
  double sines[4], cosines[4];
  if (has_avx2_fma()) {
    rotation_sines_cosines_wide(t, n, sines, cosines);
  } else {
    rotation_sines_cosines_generic(t, n, sines, cosines);
  }
  sin_gamma_ = sines[0];
  cos_gamma_ = cosines[0];
  sin_phi_ = sines[1];
  cos_phi_ = cosines[1];
  sin_psi_ = sines[2];
  cos_psi_ = cosines[2];
  sin_eps_ = sines[3];
  cos_eps_ = cosines[3];
}

std::expected<CartesianState, CoordinateError> OfDateRotation::apply(const CartesianState& state) const {
  if (!is_finite(state)) return std::unexpected(CoordinateError::NonFinite);
  // R1(-eps) R3(-psi) R1(phi) R3(gamma), rightmost first.
  const auto rotate = [this](Vector v) {
    v = rotate_z(v, sin_gamma_, cos_gamma_);
    v = rotate_x(v, sin_phi_, cos_phi_);
    v = rotate_z(v, -sin_psi_, cos_psi_);
    if (equatorial_) v = rotate_x(v, -sin_eps_, cos_eps_);
    return v;
  };
  return CartesianState{rotate(state.position_km), rotate(state.velocity_km_per_s)};
}

std::expected<CartesianState, CoordinateError> OfDateRotation::apply_inverse(const CartesianState& state) const {
  if (!is_finite(state)) return std::unexpected(CoordinateError::NonFinite);
  const auto rotate = [this](Vector v) {
    if (equatorial_) v = rotate_x(v, sin_eps_, cos_eps_);
    v = rotate_z(v, sin_psi_, cos_psi_);
    v = rotate_x(v, -sin_phi_, cos_phi_);
    v = rotate_z(v, -sin_gamma_, cos_gamma_);
    return v;
  };
  return CartesianState{rotate(state.position_km), rotate(state.velocity_km_per_s)};
}

}  // namespace ephemeris
