// Position requests through the engine: one geometric and one apparent
// request, a geometric request on scattered dates (each loads new records
// from the file), a geocentric geometric batch of 100,000 instants times
// the five bodies DE421 resolves besides the Earth, and an apparent batch.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/engine.h"

namespace ephemeris {
namespace {

SpkEphemeris open_de421() {
  auto engine = SpkEphemeris::open(EPHEMERIS_DE421_PATH, std::string(64, '0'));
  if (!engine) std::abort();
  return std::move(*engine);
}

PositionOptions geometric() {
  return PositionOptions{Origin::geocentric(), CoordinateSystem::Ecliptic, ReferenceEpoch::J2000};
}

PositionOptions apparent() {
  PositionOptions o{Origin::geocentric(), CoordinateSystem::Ecliptic, ReferenceEpoch::OfDate};
  o.apparent = true;
  return o;
}

// Instants an hour apart, as a time series of requests asks them.
void request_series(benchmark::State& state, const PositionOptions& options) {
  const SpkEphemeris engine = open_de421();
  double jd = 2451545.0;
  for (auto _ : state) {
    auto p = engine.position(Body::Mars, {jd, TimeScale::Tt}, options);
    benchmark::DoNotOptimize(p);
    jd += 1.0 / 24.0;
    if (jd > 2460000.0) jd = 2451545.0;
  }
}

void BM_SingleGeometric(benchmark::State& state) { request_series(state, geometric()); }
BENCHMARK(BM_SingleGeometric);

void BM_SingleApparent(benchmark::State& state) { request_series(state, apparent()); }
BENCHMARK(BM_SingleApparent);

// Dates 3779.1 days apart, wrapped into 1900-2050: no two requests in a row
// share a record of any segment, so every request reads its records anew.
void BM_SingleGeometricScattered(benchmark::State& state) {
  const SpkEphemeris engine = open_de421();
  const PositionOptions options = geometric();
  double offset = 0.0;
  for (auto _ : state) {
    auto p = engine.position(Body::Mars, {2415100.0 + offset, TimeScale::Tt}, options);
    benchmark::DoNotOptimize(p);
    offset += 3779.1;
    if (offset >= 55000.0) offset -= 55000.0;
  }
}
BENCHMARK(BM_SingleGeometricScattered);

void BM_GeocentricBatch100kx5(benchmark::State& state) {
  const SpkEphemeris engine = open_de421();
  const std::vector<Body> bodies = {Body::Sun, Body::Moon, Body::Mercury, Body::Venus, Body::Mars};
  std::vector<Instant> instants;
  for (int i = 0; i < 100000; ++i) instants.push_back({2451545.0 + i / 24.0, TimeScale::Tt});
  for (auto _ : state) {
    auto result = engine.positions(bodies, instants, geometric());
    if (!result) std::abort();
    benchmark::DoNotOptimize(result);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<long>(instants.size() * bodies.size()));
}
BENCHMARK(BM_GeocentricBatch100kx5)->Unit(benchmark::kMillisecond);

// Apparent places of the same bodies at 10,000 instants spread over 1900-2050
// in no order: nearly every instant needs records of its own.
void BM_ApparentBatch10kx5Scattered(benchmark::State& state) {
  const SpkEphemeris engine = open_de421();
  const std::vector<Body> bodies = {Body::Sun, Body::Moon, Body::Mercury, Body::Venus, Body::Mars};
  std::vector<Instant> instants;
  for (int i = 0; i < 10000; ++i) instants.push_back({2415100.0 + std::fmod(i * 3779.1, 54700.0), TimeScale::Tt});
  for (auto _ : state) {
    auto result = engine.positions(bodies, instants, apparent());
    if (!result) std::abort();
    benchmark::DoNotOptimize(result);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<long>(instants.size() * bodies.size()));
}
BENCHMARK(BM_ApparentBatch10kx5Scattered)->Unit(benchmark::kMillisecond);


// The single requests of the Python benchmark rows: geometric Mars at TDB
// instants and the apparent Moon at TT instants, 100,000 days drawn uniformly
// over 1900-2050 (fixed seed) and asked in drawing order.
void random_requests(benchmark::State& state, Body body, TimeScale scale, const PositionOptions& options) {
  const SpkEphemeris engine = open_de421();
  std::vector<double> days(100000);
  std::uint64_t seed = 42;
  for (double& day : days) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    day = 2415020.5 + static_cast<double>(seed >> 11) * 0x1.0p-53 * 54787.0;
  }
  std::size_t i = 0;
  for (auto _ : state) {
    auto p = engine.position(body, {days[i], scale}, options);
    benchmark::DoNotOptimize(p);
    if (++i == days.size()) i = 0;
  }
}

void BM_SingleGeometricMarsRandom(benchmark::State& state) {
  random_requests(state, Body::Mars, TimeScale::Tdb, geometric());
}
BENCHMARK(BM_SingleGeometricMarsRandom);

void BM_SingleApparentMoonRandom(benchmark::State& state) {
  random_requests(state, Body::Moon, TimeScale::Tt, apparent());
}
BENCHMARK(BM_SingleApparentMoonRandom);

}  // namespace
}  // namespace ephemeris

BENCHMARK_MAIN();
