// Sines and cosines of several angles side by side.
#pragma once

#include <cstdint>

#include "core/double_lanes.h"

namespace ephemeris {

// The largest |angle| in radians that sine_cosine reduces itself (2^20);
// larger angles, NaN and infinities go to std::sin and std::cos.
inline constexpr double kSineCosineLimit = 0x1p20;

// sines[i] = sin(angles[i]) and cosines[i] = cos(angles[i]) for i < count,
// count in [0, 8], angles in radians. Within 1 ulp of the exact values, and
// the same bits on every x86-64 processor: the lanes are computed four at a
// time, in AVX2 registers where the processor has them, with the same
// operations otherwise.
void sine_cosine(int count, const double angles[], double sines[], double cosines[]);

namespace sine_cosine_detail {

// pi/2 = kHalfPi1 + kHalfPi2 + kHalfPi3 to about 2^-160: each part the double
// nearest what the earlier parts leave. kTwoOverPi is 2/pi rounded.
inline constexpr double kHalfPi1 = 1.5707963267948966;
inline constexpr double kHalfPi2 = 6.123233995736766e-17;
inline constexpr double kHalfPi3 = -1.4973849048591698e-33;
inline constexpr double kTwoOverPi = 0.6366197723675814;
// Adding and subtracting 1.5 * 2^52 rounds |v| < 2^51 to the nearest integer.
inline constexpr double kRoundingShift = 0x1.8p52;
// Below this |x|, sin x rounds to x and cos x to 1 (x^3 / 6 and x^2 / 2 are
// below half an ulp).
inline constexpr double kTinyAngle = 0x1p-27;

// sin r = r + r u S(u) and cos r = 1 - u / 2 + u^2 C(u), u = r^2, |r| <= pi/4:
// Chebyshev fits (60-digit arithmetic) of (sin r - r) / (r u) and
// (cos r - 1 + u / 2) / u^2 on [0, (pi/4)^2], coefficients of u^0, u^1, ...
// Their share of the error, coefficients rounded to doubles: 0.06 ulp of sin
// and 0.01 ulp of cos.
inline constexpr double kSineTail[7] = {
    -0.16666666666666666,   0.008333333333333331,   -0.00019841269841265065, 2.7557319219339167e-06,
    -2.5052106232447578e-08, 1.6058531618986147e-10, -7.586697117706918e-13,
};
inline constexpr double kCosineTail[6] = {
    0.041666666666666664,  -0.0013888888888887398, 2.480158729876569e-05,
    -2.7557317271729793e-07, 2.08761462684032e-09,  -1.1382632425521717e-11,
};

}  // namespace sine_cosine_detail

// The sines and cosines of the lanes of `x` (any width), each lane with the
// bits sine_cosine gives it where |x| <= kSineCosineLimit (other lanes give
// unspecified values: sine_cosine sends them to libm). Inlined into the
// caller, so that a caller cloned with [[gnu::target("avx2,fma")]] keeps the
// lanes in registers; the same operations in every build, so the same bits.
//
// x = k pi/2 + r: k rounded from x 2/pi, a = x - k kHalfPi1 exact in one fused
// multiply-add (|a| < 1 and a multiple of 2^-53), then r = hi + lo from a and
// the products by the other two parts, with their rounding errors kept
// (TwoSum, and the fused multiply-add's exact product error). sin and cos of
// hi + lo are those of hi corrected to first order in lo; each is assembled
// with its one large rounding at the end.
template <class V>
[[gnu::always_inline]] inline void sine_cosine_lanes(const V& x, V& sine, V& cosine) {
  using namespace sine_cosine_detail;
  using Int = MaskOf<V>;
  const V zero = V{} + 0.0;
  const V k = (x * kTwoOverPi + kRoundingShift) - kRoundingShift;
  V a, p_error, u_error;
  fused_into(a, -k, zero + kHalfPi1, x);
  const V p = k * kHalfPi2;
  fused_into(p_error, k, zero + kHalfPi2, -p);
  const V hi = a - p;
  const V back = hi - a;
  const V lo = ((a - (hi - back)) + (-p - back)) - (p_error + k * kHalfPi3);

  const V u = hi * hi;
  fused_into(u_error, hi, hi, -u);
  const V u2 = u * u;
  const V u4 = u2 * u2;
  // Estrin's scheme: pairs, then powers of u.
  const V s01 = kSineTail[0] + kSineTail[1] * u, s23 = kSineTail[2] + kSineTail[3] * u;
  const V s45 = kSineTail[4] + kSineTail[5] * u;
  const V s = (s01 + s23 * u2) + (s45 + kSineTail[6] * u2) * u4;
  const V c01 = kCosineTail[0] + kCosineTail[1] * u, c23 = kCosineTail[2] + kCosineTail[3] * u;
  const V c45 = kCosineTail[4] + kCosineTail[5] * u;
  const V c = (c01 + c23 * u2) + c45 * u4;

  const V half_u = 0.5 * u;
  const V w = 1.0 - half_u;
  const V w_error = (1.0 - w) - half_u;  // exact
  const V sin_r = hi + ((hi * u) * s + lo * (1.0 - half_u));
  const V cos_r = w + ((w_error - (0.5 * u_error + hi * lo)) + u2 * c);

  // Quadrant k mod 4: sin x = sin r, cos r, -sin r, -cos r; cos x = cos r,
  // -sin r, -cos r, sin r.
  const Int quadrant = __builtin_convertvector(k, Int);
  const Int odd = (quadrant & 1) != 0;
  const Int sine_sign = (quadrant & 2) << 62;
  const Int cosine_sign = ((quadrant + 1) & 2) << 62;
  const V sin_q = odd ? cos_r : sin_r;
  const V cos_q = odd ? sin_r : cos_r;
  const V ax = reinterpret_cast<V>(reinterpret_cast<Int>(x) & INT64_MAX);
  const Int tiny = ax < kTinyAngle;
  sine = tiny ? x : reinterpret_cast<V>(reinterpret_cast<Int>(sin_q) ^ sine_sign);
  cosine = tiny ? zero + 1.0 : reinterpret_cast<V>(reinterpret_cast<Int>(cos_q) ^ cosine_sign);
}

}  // namespace ephemeris
