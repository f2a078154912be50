// The IAU 2000B nutation series and the of-date rotation that calls it, with
// its precession angles alone for comparison, at dates an hour apart; the
// sines and cosines the two take, against libm's.
#include <benchmark/benchmark.h>

#include <cmath>

#include "core/nutation.h"
#include "core/precession.h"
#include "core/sine_cosine.h"

namespace ephemeris {
namespace {

constexpr double kFirstJd = 2451545.0;
constexpr double kLastJd = 2460000.0;
constexpr double kStepDays = 1.0 / 24.0;

void next_date(double& jd) {
  jd += kStepDays;
  if (jd > kLastJd) jd = kFirstJd;
}

void BM_NutationIau2000b(benchmark::State& state) {
  double jd = kFirstJd;
  for (auto _ : state) {
    benchmark::DoNotOptimize(nutation_iau2000b(jd));
    next_date(jd);
  }
}
BENCHMARK(BM_NutationIau2000b);

void BM_PrecessionAnglesIau2006(benchmark::State& state) {
  double jd = kFirstJd;
  for (auto _ : state) {
    benchmark::DoNotOptimize(precession_angles_iau2006(jd));
    next_date(jd);
  }
}
BENCHMARK(BM_PrecessionAnglesIau2006);

// Argument: whether the rotation includes the nutation.
void BM_OfDateRotation(benchmark::State& state) {
  const bool nutation = state.range(0) != 0;
  double jd = kFirstJd;
  for (auto _ : state) {
    benchmark::DoNotOptimize(OfDateRotation(jd, nutation, /*equatorial=*/true));
    next_date(jd);
  }
}
BENCHMARK(BM_OfDateRotation)->Arg(0)->Arg(1);

// Sines and cosines of four angles: side by side, against libm one by one.
void BM_SineCosineFour(benchmark::State& state) {
  double angles[4] = {0.1, 1.7, -2.9, 5.5}, sines[4], cosines[4];
  for (auto _ : state) {
    benchmark::DoNotOptimize(angles);
    sine_cosine(4, angles, sines, cosines);
    benchmark::DoNotOptimize(sines);
    benchmark::DoNotOptimize(cosines);
  }
}
BENCHMARK(BM_SineCosineFour);

void BM_LibmSineCosineFour(benchmark::State& state) {
  double angles[4] = {0.1, 1.7, -2.9, 5.5}, sines[4], cosines[4];
  for (auto _ : state) {
    benchmark::DoNotOptimize(angles);
    for (int i = 0; i < 4; ++i) sines[i] = std::sin(angles[i]), cosines[i] = std::cos(angles[i]);
    benchmark::DoNotOptimize(sines);
    benchmark::DoNotOptimize(cosines);
  }
}
BENCHMARK(BM_LibmSineCosineFour);

}  // namespace
}  // namespace ephemeris

BENCHMARK_MAIN();
