#include "core/sine_cosine.h"

#include <cmath>

#include "core/double_lanes.h"

namespace ephemeris {
namespace {

void sine_cosine_generic(const Double4& x, Double4& sine, Double4& cosine) { sine_cosine_lanes(x, sine, cosine); }
[[gnu::target("avx2,fma")]] void sine_cosine_wide(const Double4& x, Double4& sine, Double4& cosine) {
  sine_cosine_lanes(x, sine, cosine);
}

// The sines and cosines of count <= 4 angles in one pass.
void sine_cosine_four(int count, const double angles[], double sines[], double cosines[]) {
  Double4 x = {}, sine, cosine;
  for (int l = 0; l < count; ++l) x[l] = angles[l];
  if (has_avx2_fma()) {
    sine_cosine_wide(x, sine, cosine);
  } else {
    sine_cosine_generic(x, sine, cosine);
  }
  for (int l = 0; l < count; ++l) {
    const double angle = x[l];
    const bool reduced = std::fabs(angle) <= kSineCosineLimit;
    sines[l] = reduced ? sine[l] : std::sin(angle);
    cosines[l] = reduced ? cosine[l] : std::cos(angle);
  }
}

}  // namespace

void sine_cosine(int count, const double angles[], double sines[], double cosines[]) {
  for (int first = 0; first < count; first += 4) {
    const int lanes = count - first < 4 ? count - first : 4;
    sine_cosine_four(lanes, angles + first, sines + first, cosines + first);
  }
}

}  // namespace ephemeris
