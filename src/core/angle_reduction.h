// Reduction of angles into one turn, and the signed wraps of angle differences.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>

#include "core/constants.h"

namespace ephemeris {

// Reduces `angle` into [0, turn): the floating-point remainder by `turn`, plus
// one turn when that remainder is negative. A negative remainder smaller than
// half an ulp of `turn` would round up to `turn` itself; it is folded to 0 so
// the result really stays below one turn. NaN and infinities give NaN.
// `turn` is 360 for degrees or 2 pi (kTwoPi) for radians.
inline double reduce_angle(double angle, double turn) {
  double reduced = std::fmod(angle, turn);
  if (reduced < 0.0) {
    reduced += turn;
    if (reduced >= turn) reduced = 0.0;
  }
  return reduced;
}

// std::fmod(x, divisor) bit for bit, for a whole-number `divisor` in
// [1, 2^21) (such as 360 or 1296000 arcseconds), without the library's
// general loop: with n the quotient truncated (corrected by one where it
// rounded across a whole number), n * divisor is exact and so is
// x - n * divisor, the remainder being representable. The quotient is taken
// as x times the divisor's rounded reciprocal (a constant where the divisor
// is one): within a few ulps of x / divisor, so that below 2^31 it is off by
// less than one and the correction still finds n. Quotients of about 2^31 or
// more, NaN and infinities are left to std::fmod.
inline double whole_divisor_remainder(double x, double divisor) {
  const double quotient = x * (1.0 / divisor);
  if (!(std::fabs(quotient) < 0x1p31)) return std::fmod(x, divisor);
  double n = static_cast<double>(static_cast<std::int32_t>(quotient));
  double r = x - n * divisor;
  const double toward_x = x < 0.0 ? -1.0 : 1.0;
  if (r * toward_x < 0.0) {
    n -= toward_x;
    r = x - n * divisor;
  } else if (std::fabs(r) >= divisor) {
    n += toward_x;
    r = x - n * divisor;
  }
  return r == 0.0 ? std::copysign(0.0, x) : r;
}

// An angle difference in radians brought into [-pi, pi): the remainder of
// angle + pi by 2 pi, one turn added when negative, minus pi. The result can
// round to exactly -pi; callers that need (-pi, pi] test for it.
inline double wrap_signed_radians(double angle_rad) {
  double w = std::fmod(angle_rad + std::numbers::pi, kTwoPi);
  if (w < 0.0) w += kTwoPi;
  return w - std::numbers::pi;
}

// An angle difference in degrees brought into (-180, 180], wrapped in
// radians as wrap_signed_radians does and converted back; -pi becomes 180.
inline double wrap_signed_degrees(double difference_deg) {
  double w = std::fmod(difference_deg * kRadiansPerDegree + std::numbers::pi, kTwoPi);
  if (w < 0.0) w += kTwoPi;
  w -= std::numbers::pi;
  if (w == -std::numbers::pi) return 180.0;
  return w * kDegreesPerRadian;
}

}  // namespace ephemeris
