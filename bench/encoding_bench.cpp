#include <benchmark/benchmark.h>
#include <hamlib/rotator.h>

#include "bench/hamlib.h"
#include "bench/places.h"
#include "calc/encoding.h"

namespace pelmora::bench {
namespace {

template <class Encode>
void RunEncoding(benchmark::State& state, Encode encode) {
  std::size_t i = 0;
  for (auto _ : state) {
    const Place& p = kPlaces[i++ % kPlaces.size()];
    benchmark::DoNotOptimize(encode(p.lat, p.lon));
  }
}

void BM_sLocator(benchmark::State& state) {
  RunEncoding(state, [](float lat, float lon) { return calc::sLocator(lat, lon); });
}
BENCHMARK(BM_sLocator);

void BM_GridFromLatLong(benchmark::State& state) {
  RunEncoding(state, [](float lat, float lon) { return calc::GridFromLatLong(lat, lon); });
}
BENCHMARK(BM_GridFromLatLong);

// Hamlib's encoder, six characters (three pairs), longitude first.
void BM_Hamlib_longlat2locator(benchmark::State& state) {
  char locator[16];
  std::size_t i = 0;
  const HamlibTimed timed(state);
  for (auto _ : state) {
    const Place& p = kPlaces[i++ % kPlaces.size()];
    benchmark::DoNotOptimize(longlat2locator(p.lon, p.lat, locator, 3));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Hamlib_longlat2locator);

}  // namespace
}  // namespace pelmora::bench
