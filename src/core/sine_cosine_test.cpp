// Sines and cosines side by side, against libm and the x87 extended sinl/cosl.
#include "core/sine_cosine.h"

#include <algorithm>
#include <cmath>
#include <random>

#include <gtest/gtest.h>

namespace ephemeris {
namespace {

TEST(SineCosine, SpecialCasesAndLibmsOwnBeyondTheLimit) {
  const double half_pi = 1.5707963267948966, pi = 3.141592653589793;  // the doubles nearest pi/2 and pi
  // {x, sin x, cos x}: signed zeros, the tiny-angle branch, the doubles
  // nearest pi/2 and pi, and the doubles nearest 29 and 58 quarter turns
  // (within 6.2e-19 and 1.2e-18 of them: the low parts of the reduction
  // decide every bit), correctly rounded.
  const double cases[][3] = {{0.0, 0.0, 1.0},
                             {-0.0, -0.0, 1.0},
                             {0x1p-1074, 0x1p-1074, 1.0},
                             {-0x1p-28, -0x1p-28, 1.0},
                             {half_pi, 1.0, 6.123233995736766e-17},
                             {pi, 1.2246467991473532e-16, -1.0},
                             {-pi, -1.2246467991473532e-16, -1.0},
                             {2 * pi, -2.4492935982947064e-16, 1.0},
                             {45.553093477052, 1.0, -6.189806365883577e-19},
                             {91.106186954104, -1.2379612731767154e-18, -1.0}};
  for (const auto& [x, s, c] : cases) {
    double sine, cosine;
    sine_cosine(1, &x, &sine, &cosine);
    EXPECT_EQ(sine, s) << x;
    EXPECT_EQ(cosine, c) << x;
    EXPECT_EQ(std::signbit(sine), std::signbit(s)) << x;
  }
  // NaN, infinities and angles beyond kSineCosineLimit: libm's bits, beside
  // reduced lanes in the same call.
  const double angles[6] = {NAN, INFINITY, -INFINITY, std::nextafter(kSineCosineLimit, INFINITY), 1e22, 0.5};
  double sines[6], cosines[6];
  sine_cosine(6, angles, sines, cosines);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(std::isnan(sines[i]), std::isnan(std::sin(angles[i]))) << i;
    if (!std::isnan(sines[i])) {
      EXPECT_EQ(sines[i], std::sin(angles[i])) << i;
      EXPECT_EQ(cosines[i], std::cos(angles[i])) << i;
    }
  }
  EXPECT_NEAR(sines[5], std::sin(0.5), 1e-16);
}

// Within 1 ulp of the value sinl/cosl give in 64-bit precision, for every
// count of lanes and over the whole reduced range (measured: 0.9 ulp).
TEST(SineCosine, WithinOneUlpOfExtendedPrecision) {
  std::mt19937_64 random(11);
  for (const double range : {0.7853981633974483, 6.283185307179586, 1e3, kSineCosineLimit}) {
    std::uniform_real_distribution<double> angle(-range, range);
    long double worst = 0;
    for (int group = 0; group < 20000; ++group) {
      const int count = group % 8 + 1;
      double x[8], s[8], c[8];
      for (double& v : x) v = angle(random);
      sine_cosine(count, x, s, c);
      for (int i = 0; i < count; ++i) {
        const auto ulp = [](long double v) { return std::ldexp(1.0L, std::ilogb(static_cast<double>(v)) - 52); };
        const long double exact_s = sinl(x[i]), exact_c = cosl(x[i]);
        worst = std::max({worst, std::fabs(s[i] - exact_s) / ulp(exact_s), std::fabs(c[i] - exact_c) / ulp(exact_c)});
      }
    }
    EXPECT_LT(worst, 1.0L) << range;
  }
}

}  // namespace
}  // namespace ephemeris
