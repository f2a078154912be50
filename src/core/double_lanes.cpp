#include "core/double_lanes.h"

namespace ephemeris {

bool has_fma() {
  static const bool fma = __builtin_cpu_supports("fma");
  return fma;
}

bool has_avx2() {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2;
}

bool has_avx2_fma() { return has_avx2() && has_fma(); }

}  // namespace ephemeris
