// Doubles side by side, and the processor features that choose which build of
// lane-wise code runs.
//
// GCC vector extensions: arithmetic, comparisons and ?: act lane by lane, each
// lane with the scalar operation's rounding, so every width and every build
// (generic, or cloned with [[gnu::target("avx2,fma")]]) gives the same bits
// as long as fused multiply-adds are written as fused_into (std::fma, which
// the clone compiles to the instruction and the generic build calls).
// Vectors cross function boundaries by reference only: a 32-byte vector
// passed by value to code built without AVX changes the calling convention.
#pragma once

#include <cmath>
#include <cstdint>

namespace ephemeris {

using Double2 = double __attribute__((vector_size(16)));
using Double4 = double __attribute__((vector_size(32)));
// The 64-bit integer lanes of a comparison's result (all bits set where true).
template <class V> using MaskOf = decltype(V{} < V{});
template <class V> inline constexpr int kLanesOf = sizeof(V) / sizeof(double);

// r = a * b + c lane by lane, with one rounding.
template <class V>
[[gnu::always_inline]] inline void fused_into(V& r, const V& a, const V& b, const V& c) {
  for (int l = 0; l < kLanesOf<V>; ++l) r[l] = std::fma(a[l], b[l], c[l]);
}
// r = sqrt(v) lane by lane.
template <class V>
[[gnu::always_inline]] inline void root_into(V& r, const V& v) {
  for (int l = 0; l < kLanesOf<V>; ++l) r[l] = std::sqrt(v[l]);
}
// r = |v| lane by lane (the sign bit cleared).
template <class V>
[[gnu::always_inline]] inline void magnitude_into(V& r, const V& v) {
  r = reinterpret_cast<V>(reinterpret_cast<MaskOf<V>>(v) & INT64_MAX);
}

// Whether this processor has fused multiply-add instructions.
bool has_fma();
// Whether it has AVX2 (four doubles to an instruction).
bool has_avx2();
// Whether it has both: the condition for the "avx2,fma" clones.
bool has_avx2_fma();

}  // namespace ephemeris
