// Reduction of angles into one turn.
#pragma once

#include <cmath>

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

}  // namespace ephemeris
