#include "engine/corrections.h"

#include <cmath>

namespace ephemeris {

namespace {

using Vec3 = std::array<double, 3>;

double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

Vec3 scaled(const Vec3& v, double divisor) { return {v[0] / divisor, v[1] / divisor, v[2] / divisor}; }

Vec3 rodrigues(const Vec3& v, const Vec3& axis, double sine, double cosine) {
  const Vec3 k_cross_v = cross(axis, v);
  const double k_dot_v = dot(axis, v);
  const double one_minus_cos = 1.0 - cosine;
  Vec3 out;
  for (int i = 0; i < 3; ++i) out[i] = v[i] * cosine + k_cross_v[i] * sine + axis[i] * k_dot_v * one_minus_cos;
  return out;
}

// Normalises `turned` and rotates the state from `unit` onto it; unchanged
// when `turned` is zero.
CartesianState turn_towards(const CartesianState& state, const Vec3& unit, const Vec3& turned) {
  const double norm2 = dot(turned, turned);
  if (norm2 == 0.0) return state;
  return rotate_state(state, unit, scaled(turned, std::sqrt(norm2)));
}

}  // namespace

CartesianState rotate_state(const CartesianState& state, const Vec3& a, const Vec3& b) {
  const Vec3 k = cross(a, b);
  const double k2 = dot(k, k);
  if (k2 == 0.0) return state;
  const double sine = std::sqrt(k2);
  const double cosine = dot(a, b);
  const Vec3 axis = scaled(k, sine);
  return {rodrigues(state.position_km, axis, sine, cosine), rodrigues(state.velocity_km_per_s, axis, sine, cosine)};
}

CartesianState apply_solar_gravitational_deflection(const CartesianState& state, const Vec3& observer,
                                                    const Vec3& sun) {
  const Vec3& p = state.position_km;
  const double p2 = dot(p, p);
  if (p2 == 0.0) return state;
  const Vec3 u = scaled(p, std::sqrt(p2));

  const Vec3 sun_from_observer = {sun[0] - observer[0], sun[1] - observer[1], sun[2] - observer[2]};
  const double sun_distance2 = dot(sun_from_observer, sun_from_observer);
  if (sun_distance2 == 0.0) return state;
  const double sun_distance = std::sqrt(sun_distance2);
  const Vec3 e = {-sun_from_observer[0] / sun_distance, -sun_from_observer[1] / sun_distance,
                  -sun_from_observer[2] / sun_distance};  // Sun towards the observer

  const Vec3 target_from_sun = {p[0] - sun_from_observer[0], p[1] - sun_from_observer[1],
                                p[2] - sun_from_observer[2]};
  const double target_distance2 = dot(target_from_sun, target_from_sun);
  if (target_distance2 == 0.0) return state;
  const Vec3 q = scaled(target_from_sun, std::sqrt(target_distance2));

  const double d = 1.0 + dot(q, e);
  if (std::fabs(d) < kDeflectionGuard) return state;
  const double g = kSunSchwarzschildRadiusKm / sun_distance / d;
  const double u_dot_q = dot(u, q);
  const double u_dot_e = dot(u, e);
  Vec3 turned;
  for (int i = 0; i < 3; ++i) turned[i] = u[i] + g * (u_dot_q * e[i] - u_dot_e * q[i]);
  return turn_towards(state, u, turned);
}

CartesianState apply_stellar_aberration(const CartesianState& state, const Vec3& observer_velocity) {
  const Vec3& p = state.position_km;
  const double p2 = dot(p, p);
  if (p2 == 0.0) return state;
  const Vec3 u = scaled(p, std::sqrt(p2));
  Vec3 turned;
  for (int i = 0; i < 3; ++i) turned[i] = u[i] + observer_velocity[i] * kInverseSpeedOfLightSPerKm;
  return turn_towards(state, u, turned);
}

}  // namespace ephemeris
