#include <benchmark/benchmark.h>

#include <array>

#include "calc/encoding.h"

namespace {

struct Position {
  float lat;
  float lon;
};

// A fixed set: ordinary places, cell boundaries and the poles.
constexpr std::array<Position, 8> kPositions = {{{52.5f, 13.4f},
                                                 {40.7f, -74.0f},
                                                 {-33.9f, 151.2f},
                                                 {51.5f, -0.12f},
                                                 {31.0f, -10.0f},
                                                 {0.0f, 0.0f},
                                                 {-90.0f, -180.0f},
                                                 {89.99999f, 179.99999f}}};

template <class Encode>
void RunEncoding(benchmark::State& state, Encode encode) {
  std::size_t i = 0;
  for (auto _ : state) {
    const Position& p = kPositions[i++ % kPositions.size()];
    benchmark::DoNotOptimize(encode(p.lat, p.lon));
  }
}

void BM_sLocator(benchmark::State& state) {
  RunEncoding(state, [](float lat, float lon) { return pelmora::calc::sLocator(lat, lon); });
}
BENCHMARK(BM_sLocator);

void BM_GridFromLatLong(benchmark::State& state) {
  RunEncoding(state, [](float lat, float lon) { return pelmora::calc::GridFromLatLong(lat, lon); });
}
BENCHMARK(BM_GridFromLatLong);

}  // namespace
