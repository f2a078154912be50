// Sines and cosines of several angles side by side.
#pragma once

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

}  // namespace ephemeris
