#include "core/sine_cosine.h"

#include <cmath>

#include "core/double_lanes.h"

namespace ephemeris {
namespace {

// G groups of four lanes in one kernel call, so that the groups' latencies
// overlap; each lane takes the same operations whatever G.
template <int G>
void sine_cosine_generic(const Double4 (&x)[G], Double4 (&sine)[G], Double4 (&cosine)[G]) {
  for (int g = 0; g < G; ++g) sine_cosine_lanes(x[g], sine[g], cosine[g]);
}
template <int G>
[[gnu::target("avx2,fma")]] void sine_cosine_wide(const Double4 (&x)[G], Double4 (&sine)[G], Double4 (&cosine)[G]) {
  for (int g = 0; g < G; ++g) sine_cosine_lanes(x[g], sine[g], cosine[g]);
}

// The sines and cosines of count <= 4 G angles in one pass.
template <int G>
void sine_cosine_groups(int count, const double angles[], double sines[], double cosines[]) {
  Double4 x[G] = {}, sine[G], cosine[G];
  for (int l = 0; l < count; ++l) x[l / 4][l % 4] = angles[l];
  if (has_avx2_fma()) {
    sine_cosine_wide<G>(x, sine, cosine);
  } else {
    sine_cosine_generic<G>(x, sine, cosine);
  }
  for (int l = 0; l < count; ++l) {
    const double angle = x[l / 4][l % 4];
    const bool reduced = std::fabs(angle) <= kSineCosineLimit;
    sines[l] = reduced ? sine[l / 4][l % 4] : std::sin(angle);
    cosines[l] = reduced ? cosine[l / 4][l % 4] : std::cos(angle);
  }
}

}  // namespace

void sine_cosine(int count, const double angles[], double sines[], double cosines[]) {
  if (count > 4) {
    sine_cosine_groups<2>(count, angles, sines, cosines);
  } else {
    sine_cosine_groups<1>(count, angles, sines, cosines);
  }
}

}  // namespace ephemeris
