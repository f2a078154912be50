// Barycentric Earth states from DE421: one epoch at a time (the path of every
// geometric position request) and a batch of 100,000 epochs.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "spk/center_chain.h"
#include "spk/spk_kernel.h"

namespace ephemeris {
namespace {

std::vector<SpkKernel> open_de421() {
  std::vector<SpkKernel> kernels;
  auto kernel = SpkKernel::open(EPHEMERIS_DE421_PATH);
  if (!kernel) std::abort();
  kernels.push_back(std::move(*kernel));
  return kernels;
}

// Epochs one hour apart (about 11 years): consecutive calls mostly reuse the
// cached record, as a time series of requests does.
void BM_SingleEpochEarth(benchmark::State& state) {
  auto kernels = open_de421();
  double epoch = 0.0;
  for (auto _ : state) {
    auto earth = barycentric_state_across_kernels(kernels, 399, epoch);
    benchmark::DoNotOptimize(earth);
    epoch += 3600.0;
    if (epoch > 3.5e8) epoch = 0.0;
  }
}
BENCHMARK(BM_SingleEpochEarth);

// Epochs scattered over the whole coverage: nearly every call loads records.
void BM_SingleEpochEarthScattered(benchmark::State& state) {
  auto kernels = open_de421();
  std::size_t i = 0;
  for (auto _ : state) {
    const double epoch = -3.1e9 + static_cast<double>((i * 7919) % 100000) * 47000.0;
    auto earth = barycentric_state_across_kernels(kernels, 399, epoch);
    benchmark::DoNotOptimize(earth);
    ++i;
  }
}
BENCHMARK(BM_SingleEpochEarthScattered);

void BM_BatchEarth100k(benchmark::State& state) {
  auto kernels = open_de421();
  std::vector<double> epochs;
  for (int i = 0; i < 100000; ++i) epochs.push_back(-3.1e9 + i * 47000.0);  // about 150 years
  for (auto _ : state) {
    auto earth = barycentric_states_across_kernels(kernels, 399, epochs);
    benchmark::DoNotOptimize(earth);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(epochs.size()));
}
BENCHMARK(BM_BatchEarth100k)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ephemeris

BENCHMARK_MAIN();
