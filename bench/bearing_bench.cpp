#include <benchmark/benchmark.h>

#include <array>

#include "calc/bearing.h"

namespace {

struct Pair {
  float my_lat, my_lon, ln_lat, ln_lon;
};

// Ordinary pairs across the quadrants, a pair across the date line and one
// from the pole; every one runs the whole computation.
constexpr std::array<Pair, 8> kPairs = {{{52.5f, 13.4f, 40.7f, -74.0f},
                                         {40.7f, -74.0f, 52.5f, 13.4f},
                                         {-33.9f, 151.2f, 51.5f, -0.1f},
                                         {51.5f, -0.1f, -33.9f, 151.2f},
                                         {-33.9f, 151.2f, -34.0f, 151.3f},
                                         {52.5f, 13.4f, 60.0f, 13.5f},
                                         {10.0f, 10.0f, 20.0f, -170.0f},
                                         {90.0f, 0.0f, 10.0f, 10.0f}}};

void BM_Azimut(benchmark::State& state) {
  pelmora::calc::BearingFields fields;
  std::size_t i = 0;
  for (auto _ : state) {
    const Pair& p = kPairs[i++ % kPairs.size()];
    benchmark::DoNotOptimize(pelmora::calc::Azimut(fields, p.my_lat, p.my_lon, p.ln_lat, p.ln_lon));
  }
}
BENCHMARK(BM_Azimut);

// The early answer of equal longitudes (due south).
void BM_AzimutDueSouth(benchmark::State& state) {
  pelmora::calc::BearingFields fields;
  for (auto _ : state) {
    benchmark::DoNotOptimize(pelmora::calc::Azimut(fields, 52.5f, 13.4f, 40.0f, 13.4f));
  }
}
BENCHMARK(BM_AzimutDueSouth);

}  // namespace
