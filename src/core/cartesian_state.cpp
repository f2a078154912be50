#include "core/cartesian_state.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "core/constants.h"
#include "core/double_lanes.h"

namespace ephemeris {

bool is_finite(const CartesianState& state) {
  for (double v : state.position_km)
    if (!std::isfinite(v)) return false;
  for (double v : state.velocity_km_per_s)
    if (!std::isfinite(v)) return false;
  return true;
}

namespace {

// atan(t) = t + t u P(u), u = t^2, |t| <= 1/2: P of degree 11, the minimax
// fit (Remez exchange in 60-digit arithmetic) of (atan(t) - t) / (t u) for
// the relative error of atan, 7.7e-18 on [0, 1/4]; coefficients of u^0 .. u^11.
constexpr double kAtanTail[12] = {
    -0.33333333333333176,   0.19999999999939133,  -0.14285714278687317, 0.11111110731560893,
    -0.09090897509865754,   0.0769208718204359,   -0.06663893327184559, 0.05858573016615512,
    -0.05122201063889233,   0.041847211298537294, -0.027375726971391158, 0.010057783811538249,
};
// k pi / 4 for k = 1 .. 4 as a double and the double nearest the remainder.
constexpr double kQuarterPi = 0.7853981633974483, kQuarterPiLow = 3.061616997868383e-17;
constexpr double kHalfPi = 1.5707963267948966, kHalfPiLow = 6.123233995736766e-17;
constexpr double kThreeQuarterPi = 2.356194490192345, kThreeQuarterPiLow = 9.184850993605148e-17;
constexpr double kPi = 3.141592653589793, kPiLow = 1.2246467991473532e-16;
// Arguments below kArctangentLimit stay clear of overflow in |x| + |y|; the
// larger one at kArctangentFloor or above, of overflow in its reciprocal.
constexpr double kArctangentLimit = 0x1p1020;
constexpr double kArctangentFloor = 0x1p-1000;

// atan2 for finite arguments below kArctangentLimit, the larger magnitude at
// kArctangentFloor or above.
//
// With n = min(|x|, |y|) and d = max(|x|, |y|), atan(n / d) lies in [0, pi/4];
// above n / d = 1/2 it is pi/4 + atan(t) with t = (n - d) / (n + d) in
// [-1/3, 0) (n - d exact there). t is kept with its low part (the division's
// remainder by a fused multiply-add, and the rounding error of n + d), and
// the angle is assembled as C + s (t + tail), C a multiple of pi/4 split in
// two doubles, s = +-1, with the one rounding that matters at the end.
template <class V>
[[gnu::always_inline]] inline void arctangent2_kernel(V& angle, const V& y, const V& x) {
  using M = MaskOf<V>;
  const V zero = V{} + 0.0;  // constants as vectors: the zero vector plus the constant
  V ax, ay;
  magnitude_into(ax, x);
  magnitude_into(ay, y);
  const M swap = ay > ax;
  const V num = swap ? ax : ay;
  const V den = swap ? ay : ax;
  const M reduced = num > den * 0.5;
  const V sum = num + den;
  const V sum_error = num - (sum - den);  // exact: den >= num
  const V n = reduced ? num - den : num;
  const V d = reduced ? sum : den;
  const V e = reduced ? sum_error : zero;
  const V t = n / d;
  const V inverse = 1.0 / d;  // beside the quotient, not after it
  V remainder;
  fused_into(remainder, -t, d, n);
  const V t_low = (remainder - t * e) * inverse;  // t + t_low = n / (d + e) to about 2^-100
  // P(u) by Estrin's scheme (pairs, then powers u^2, u^4, u^8): a short chain.
  const V u = t * t;
  const V u2 = u * u;
  const V u4 = u2 * u2;
  const V u8 = u4 * u4;
  const V pair0 = kAtanTail[0] + kAtanTail[1] * u, pair2 = kAtanTail[2] + kAtanTail[3] * u;
  const V pair4 = kAtanTail[4] + kAtanTail[5] * u, pair6 = kAtanTail[6] + kAtanTail[7] * u;
  const V pair8 = kAtanTail[8] + kAtanTail[9] * u, pair10 = kAtanTail[10] + kAtanTail[11] * u;
  const V p = ((pair0 + pair2 * u2) + (pair4 + pair6 * u2) * u4) + (pair8 + pair10 * u2) * u8;
  const V tail = t_low + t * (u * p);
  // angle = C + s (t + tail): for n / d = |y / x| without swap or sign,
  // (pi/2 - .) with swap, (pi - .) for x < 0, (pi/2 + .) with both.
  const M negative = x < zero;
  const M flip = swap ^ negative;
  const V st = flip ? -t : t;
  const V stail = flip ? -tail : tail;
  const V high = reduced ? (negative ? zero + kThreeQuarterPi : zero + kQuarterPi)
                         : (swap ? zero + kHalfPi : (negative ? zero + kPi : zero));
  const V low = reduced ? (negative ? zero + kThreeQuarterPiLow : zero + kQuarterPiLow)
                        : (swap ? zero + kHalfPiLow : (negative ? zero + kPiLow : zero));
  const V h = high + st;
  const V h_error = st - (h - high);  // exact: |high| >= |st|, or high = 0
  const V magnitude = h + (h_error + (low + stail));
  // The sign of y.
  angle = reinterpret_cast<V>((reinterpret_cast<M>(magnitude) & INT64_MAX) | (reinterpret_cast<M>(y) & INT64_MIN));
}

bool in_arctangent_domain(double y, double x) {
  const double larger = std::fmax(std::fabs(x), std::fabs(y));
  return std::fabs(x) < kArctangentLimit && std::fabs(y) < kArctangentLimit && larger >= kArctangentFloor;
}

// One body each for the generic build and for the clone with fused
// multiply-adds in hardware: the same operations, the same bits. A single
// conversion takes its two angles side by side, in two lanes.
[[gnu::always_inline]] inline double scalar_arctangent2(double y, double x) {
  if (!in_arctangent_domain(y, x)) return std::atan2(y, x);
  Double2 angle;
  arctangent2_kernel(angle, Double2{y, y}, Double2{x, x});
  return angle[0];
}

[[gnu::always_inline]] inline std::expected<SphericalCoordinates, CoordinateError> scalar_spherical(
    const CartesianState& state) {
  if (!is_finite(state)) return std::unexpected(CoordinateError::NonFinite);
  const auto [x, y, z] = state.position_km;
  const auto [vx, vy, vz] = state.velocity_km_per_s;
  const double rho2 = std::fma(x, x, y * y);
  const double r2 = rho2 + z * z;
  if (r2 == 0.0) return std::unexpected(CoordinateError::AtOrigin);
  if (rho2 == 0.0) return std::unexpected(CoordinateError::OnZAxis);

  const double rho = std::sqrt(rho2);
  Double2 angles;
  arctangent2_kernel(angles, Double2{y, z}, Double2{x, rho});
  // atan2 lies in [-pi, pi], so degrees stay below one turn (a remainder by
  // 360 would be the angle itself).
  double longitude = (in_arctangent_domain(y, x) ? angles[0] : std::atan2(y, x)) * kDegreesPerRadian;
  if (longitude < 0.0) longitude += 360.0;
  const double latitude = (in_arctangent_domain(z, rho) ? angles[1] : std::atan2(z, rho)) * kDegreesPerRadian;
  const double distance = std::sqrt(r2);
  const double speed = std::fma(x, vy, -(y * vx)) / rho2 * kDegreesPerRadian * kSecondsPerDay;
  (void)vz;
  return SphericalCoordinates{longitude, latitude, distance, speed};
}

double arctangent2_generic(double y, double x) { return scalar_arctangent2(y, x); }
[[gnu::target("fma")]] double arctangent2_fma(double y, double x) { return scalar_arctangent2(y, x); }

std::expected<SphericalCoordinates, CoordinateError> spherical_generic(const CartesianState& state) {
  return scalar_spherical(state);
}
[[gnu::target("fma")]] std::expected<SphericalCoordinates, CoordinateError> spherical_fma(
    const CartesianState& state) {
  return scalar_spherical(state);
}

// Four conversions at once; false when a lane needs the scalar path (a
// failure, or an angle outside the kernel's domain).
[[gnu::target("avx2,fma")]] bool spherical_four(const CartesianState states[], SphericalCoordinates out[]) {
  Double4 c[6];
  for (int l = 0; l < 4; ++l) {
    for (int i = 0; i < 3; ++i) {
      c[i][l] = states[l].position_km[i];
      c[3 + i][l] = states[l].velocity_km_per_s[i];
    }
  }
  const Double4 x = c[0], y = c[1], z = c[2], vx = c[3], vy = c[4], vz = c[5];
  Double4 rho2, rho;
  fused_into(rho2, x, x, y * y);
  const Double4 r2 = rho2 + z * z;
  root_into(rho, rho2);
  // Finite components, both angles' arguments in the kernel's domain, rho2 > 0
  // (so r2 > 0): then to_spherical succeeds and its angles take the kernel.
  constexpr double kMax = std::numeric_limits<double>::max();
  constexpr double kLimit = kArctangentLimit, kFloor = kArctangentFloor;
  Double4 ax, ay, az, avx, avy, avz;
  magnitude_into(ax, x);
  magnitude_into(ay, y);
  magnitude_into(az, z);
  magnitude_into(avx, vx);
  magnitude_into(avy, vy);
  magnitude_into(avz, vz);
  const MaskOf<Double4> fine = (ax < kLimit) & (ay < kLimit) & (az < kLimit) & (rho < kLimit) &
                               ((ax >= kFloor) | (ay >= kFloor)) & ((az >= kFloor) | (rho >= kFloor)) &
                               (rho2 > 0.0) & (avx <= kMax) & (avy <= kMax) & (avz <= kMax);
  for (int l = 0; l < 4; ++l) {
    if (!fine[l]) return false;
  }
  Double4 longitude, latitude, distance, speed_numerator;
  arctangent2_kernel(longitude, y, x);
  longitude *= kDegreesPerRadian;
  longitude = longitude < 0.0 ? longitude + 360.0 : longitude;
  arctangent2_kernel(latitude, z, rho);
  latitude *= kDegreesPerRadian;
  root_into(distance, r2);
  fused_into(speed_numerator, x, vy, -(y * vx));
  const Double4 speed = speed_numerator / rho2 * kDegreesPerRadian * kSecondsPerDay;
  for (int l = 0; l < 4; ++l) out[l] = {longitude[l], latitude[l], distance[l], speed[l]};
  return true;
}

}  // namespace

double arctangent2(double y, double x) { return has_fma() ? arctangent2_fma(y, x) : arctangent2_generic(y, x); }

std::expected<SphericalCoordinates, CoordinateError> to_spherical(const CartesianState& state) {
  return has_fma() ? spherical_fma(state) : spherical_generic(state);
}

bool to_spherical_lanes(int lanes, const CartesianState states[], SphericalCoordinates out[]) {
  if (lanes == 4 && has_avx2_fma() && spherical_four(states, out)) return true;
  for (int l = 0; l < lanes; ++l) {
    const auto spherical = to_spherical(states[l]);
    if (!spherical) return false;
    out[l] = *spherical;
  }
  return true;
}

std::expected<CartesianState, CoordinateError> to_j2000_ecliptic(const CartesianState& state) {
  if (!is_finite(state)) return std::unexpected(CoordinateError::NonFinite);
  return rotated_to_j2000_ecliptic(state);
}

}  // namespace ephemeris
