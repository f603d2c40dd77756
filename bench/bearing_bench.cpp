#include <benchmark/benchmark.h>

#include <bit>
#include <cmath>
#include <cstdint>

#include "bench/places.h"
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

// The bearing's formula written straight, with the same float32 stores and
// maths calls and no status: the floor of Azimut. Not inlined, like the
// calculation.
double Wide(float x) { return static_cast<double>(x); }
float Single(double x) { return static_cast<float>(x); }

[[gnu::noinline]] float StraightAzimut(float my_lat, float my_lon, float ln_lat, float ln_lon) {
  constexpr double K = 57.2958;
  constexpr float kPi32 = 0x1.921fb6p+1f;
  constexpr float kTwoPi32 = 0x1.921fb6p+2f;
  if (ln_lat == 0.0f || std::isnan(ln_lat) || ln_lon == 0.0f || std::isnan(ln_lon)) return 0.0f;
  const float my_lat_rad = Single(Wide(my_lat) / K);
  const float my_lon_rad = Single(Wide(my_lon) / K);
  const float other_lat_rad = Single(Wide(ln_lat) / K);
  const float other_lon_rad = Single(Wide(ln_lon) / K);
  float d = Single(Wide(my_lon_rad) - Wide(other_lon_rad));
  if (d == 0.0f) return ln_lat < my_lat ? 180.0f : 0.0f;
  if (d > kPi32) {
    d = Single(Wide(d) - Wide(kTwoPi32));
  } else if (d < -kPi32) {
    d = Single(Wide(d) + Wide(kTwoPi32));
  }
  const double delta = Wide(d);
  const double other_lat = Wide(other_lat_rad);
  const float t1 =
      Single(runtime::CosOf(delta) * (runtime::CosOf(other_lat) / runtime::SinOf(other_lat)));
  const float alpha = Single(runtime::AtanOf(Wide(t1)));
  const double lat_sum = Wide(my_lat_rad) + Wide(alpha);
  const double cot_delta = runtime::CosOf(delta) / runtime::SinOf(delta);
  const float t2 = Single(cot_delta * runtime::CosOf(lat_sum) / runtime::SinOf(Wide(alpha)));
  float az = Single(runtime::AtanOf(1.0 / Wide(t2)));
  az = Single(Wide(az) * K);
  const float diff = Single(Wide(d) * K);
  if (diff > 0.0f && az < 0.0f) az = Single(Wide(az) + 180.0);
  if (diff < 0.0f && az > 0.0f) az = Single(Wide(az) + 180.0);
  if (diff < 0.0f && az < 0.0f) az = Single(Wide(az) + 360.0);
  az = Single(360.0 - Wide(az));
  return Single(std::floor(Wide(az) + 0.5));
}

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
