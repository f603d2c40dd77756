#include <benchmark/benchmark.h>

#include <bit>
#include <cmath>
#include <cstdint>

#include "bench/places.h"
#include "bench/straight.h"
#include "calc/bearing.h"
#include "runtime/fp_status.h"

namespace pelmora::bench {
namespace {

void BM_Azimut(benchmark::State& state) {
  calc::BearingFields fields;
  std::size_t i = 0;
  for (auto _ : state) {
    const Pair& p = PairAt(i++);
    benchmark::DoNotOptimize(calc::Azimut(fields, p.a.lat, p.a.lon, p.b.lat, p.b.lon));
  }
}
BENCHMARK(BM_Azimut);

// The early answer of equal longitudes (due south).
void BM_AzimutDueSouth(benchmark::State& state) {
  calc::BearingFields fields;
  for (auto _ : state) {
    benchmark::DoNotOptimize(calc::Azimut(fields, 52.5f, 13.4f, 40.0f, 13.4f));
  }
}
BENCHMARK(BM_AzimutDueSouth);

void BM_StraightAzimut(benchmark::State& state) {
  calc::BearingFields fields;
  for (std::size_t k = 0; k < kPlaces.size(); ++k) {
    const Pair& p = PairAt(k);
    const float ours = calc::Azimut(fields, p.a.lat, p.a.lon, p.b.lat, p.b.lon).value;
    if (std::bit_cast<std::uint32_t>(ours) !=
        std::bit_cast<std::uint32_t>(StraightAzimut(p.a.lat, p.a.lon, p.b.lat, p.b.lon))) {
      state.SkipWithError("the straight formula differs from Azimut");
    }
  }
  std::size_t i = 0;
  for (auto _ : state) {
    const Pair& p = PairAt(i++);
    benchmark::DoNotOptimize(StraightAzimut(p.a.lat, p.a.lon, p.b.lat, p.b.lon));
  }
}
BENCHMARK(BM_StraightAzimut);

}  // namespace
}  // namespace pelmora::bench
