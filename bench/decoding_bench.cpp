#include <benchmark/benchmark.h>

#include <array>
#include <string_view>

#include "calc/decoding.h"

namespace {

// Regular locators of six and four units, one with spaces to trim, and one
// with a text past the sixth unit.
constexpr std::array<std::u16string_view, 6> kGrids = {u"JO62qm", u"QF56od", u"AA00aa",
                                                       u"RR99xx", u" FN20 ", u"JO62QM99"};

template <class Decode>
void RunDecoding(benchmark::State& state, Decode decode) {
  std::array<pelmora::runtime::Text, kGrids.size()> grids;
  for (std::size_t i = 0; i < kGrids.size(); ++i) grids[i] = pelmora::runtime::Text(kGrids[i]);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(decode(grids[i++ % grids.size()]));
  }
}

void BM_LatFromGrid(benchmark::State& state) {
  RunDecoding(state,
              [](const pelmora::runtime::Text& grid) { return pelmora::calc::LatFromGrid(grid); });
}
BENCHMARK(BM_LatFromGrid);

void BM_LongFromGrid(benchmark::State& state) {
  RunDecoding(state,
              [](const pelmora::runtime::Text& grid) { return pelmora::calc::LongFromGrid(grid); });
}
BENCHMARK(BM_LongFromGrid);

}  // namespace
