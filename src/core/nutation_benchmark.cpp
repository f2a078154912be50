// The IAU 2000B nutation series and the of-date rotation that calls it, with
// its precession angles alone for comparison, at dates an hour apart.
#include <benchmark/benchmark.h>

#include "core/nutation.h"
#include "core/precession.h"

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

}  // namespace
}  // namespace ephemeris

BENCHMARK_MAIN();
