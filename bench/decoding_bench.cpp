#include <benchmark/benchmark.h>
#include <hamlib/rotator.h>

#include <array>
#include <bit>
#include <cstdint>
#include <string>
#include <string_view>

#include "bench/hamlib.h"
#include "bench/places.h"
#include "calc/decoding.h"

namespace pelmora::bench {
namespace {

using runtime::Text;

// Regular locators of six and four units, one with spaces to trim, and one
// with a text past the sixth unit.
constexpr std::array<std::u16string_view, 6> kGrids = {u"JO62qm", u"QF56od", u"AA00aa",
                                                       u"RR99xx", u" FN20 ", u"JO62QM99"};

template <class Decode>
void RunDecoding(benchmark::State& state, Decode decode) {
  std::array<Text, kGrids.size()> grids;
  for (std::size_t i = 0; i < kGrids.size(); ++i) grids[i] = Text(kGrids[i]);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(decode(grids[i++ % grids.size()]));
  }
}

void BM_LatFromGrid(benchmark::State& state) {
  RunDecoding(state, [](const Text& grid) { return calc::LatFromGrid(grid); });
}
BENCHMARK(BM_LatFromGrid);

void BM_LongFromGrid(benchmark::State& state) {
  RunDecoding(state, [](const Text& grid) { return calc::LongFromGrid(grid); });
}
BENCHMARK(BM_LongFromGrid);

// Both coordinates of a locator of the fixed set, as a client decodes it.
struct LatLong {
  float lat;
  float lon;
};

LatLong DecodePair(const Text& grid) {
  return {calc::LatFromGrid(grid).value, calc::LongFromGrid(grid).value};
}

// The same arithmetic written straight for six ASCII characters, with the
// same float32 stores and no status: the floor of decoding.
char16_t Upper(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

float StraightAxis(char16_t field, char16_t square, char16_t subsquare, std::int32_t field_factor,
                   double degrees_per_square, double subsquare_divisor, float shift) {
  const float whole = static_cast<float>(degrees_per_square * static_cast<double>(square - u'0') +
                                         static_cast<double>((Upper(field) - 65) * field_factor));
  const float half = static_cast<float>(0.5 / subsquare_divisor);
  const float sub = static_cast<float>(
      static_cast<double>(Upper(subsquare) - 65) / subsquare_divisor + static_cast<double>(half));
  return static_cast<float>(static_cast<double>(sub) + static_cast<double>(whole) -
                            static_cast<double>(shift));
}

// Not inlined, like the calculations it is compared with, which a client
// calls in a library.
[[gnu::noinline]] LatLong StraightDecodePair(const char16_t* g) {
  return {StraightAxis(g[1], g[3], g[5], 10, 1.0, 24.0, 90.0f),
          StraightAxis(g[0], g[2], g[4], 20, 2.0, 12.0, 180.0f)};
}

std::array<Text, kPlaces.size()> LocatorTexts() {
  std::array<Text, kPlaces.size()> texts;
  for (std::size_t k = 0; k < kPlaces.size(); ++k) texts[k] = Text(Locators()[k]);
  return texts;
}

bool Same(LatLong a, LatLong b) {
  return std::bit_cast<std::uint32_t>(a.lat) == std::bit_cast<std::uint32_t>(b.lat) &&
         std::bit_cast<std::uint32_t>(a.lon) == std::bit_cast<std::uint32_t>(b.lon);
}

void BM_DecodePair(benchmark::State& state) {
  const std::array<Text, kPlaces.size()> texts = LocatorTexts();
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(DecodePair(texts[i++ % texts.size()]));
}
BENCHMARK(BM_DecodePair);

void BM_StraightDecodePair(benchmark::State& state) {
  const std::array<Text, kPlaces.size()> texts = LocatorTexts();
  for (const Text& t : texts) {
    if (!Same(StraightDecodePair(t.Units().data()), DecodePair(t))) {
      state.SkipWithError("the straight decode differs from LatFromGrid and LongFromGrid");
    }
  }
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(StraightDecodePair(texts[i++ % texts.size()].Units().data()));
  }
}
BENCHMARK(BM_StraightDecodePair);

// A 400 MB text: a locator followed by 200 million other units. Decoding
// reads its first six.
void BM_DecodePairOf400MBText(benchmark::State& state) {
  static const Text huge(Locators()[0] + std::u16string((std::size_t{200} << 20) - 6, u'x'));
  if (!Same(DecodePair(huge), DecodePair(Text(Locators()[0])))) {
    state.SkipWithError("the huge text decodes otherwise than its first six units");
  }
  for (auto _ : state) benchmark::DoNotOptimize(DecodePair(huge));
}
BENCHMARK(BM_DecodePairOf400MBText);

void BM_Hamlib_locator2longlat(benchmark::State& state) {
  std::size_t i = 0;
  double lon = 0.0;
  double lat = 0.0;
  const HamlibTimed timed(state);
  for (auto _ : state) {
    const std::string& grid = AsciiLocators()[i++ % kPlaces.size()];
    benchmark::DoNotOptimize(locator2longlat(&lon, &lat, grid.c_str()));
    benchmark::DoNotOptimize(lon);
    benchmark::DoNotOptimize(lat);
  }
}
BENCHMARK(BM_Hamlib_locator2longlat);

}  // namespace
}  // namespace pelmora::bench
