#include <benchmark/benchmark.h>
#include <hamlib/rotator.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

#include "bench/hamlib.h"
#include "bench/places.h"
#include "bench/straight.h"
#include "calc/bearing.h"
#include "calc/distance.h"
#include "runtime/fp_status.h"

// DistanceFrom and ArcCos against the platform's maths calls they make, alone
// and on the same arguments: five sines and cosines, two arc tangents and one
// square root for a distance, two arc tangents and one square root for an arc
// cosine.

namespace pelmora::bench {
namespace {

using calc::DistanceFrom;

struct Coordinates {
  float alat;
  float alon;
  float blat;
  float blon;
};

// The pairs of the fixed set of places.
const std::array<Coordinates, kPlaces.size()> kPairs = [] {
  std::array<Coordinates, kPlaces.size()> pairs;
  for (std::size_t k = 0; k < kPlaces.size(); ++k) {
    const Pair& p = PairAt(k);
    pairs[k] = {p.a.lat, p.a.lon, p.b.lat, p.b.lon};
  }
  return pairs;
}();

// The argument of each maths call, one field per call, so that the compiler
// cannot merge a sine and a cosine of the same value into one call.
struct MathsArguments {
  double sin_a, sin_b, cos_a, cos_b, cos_diff;  // radians
  double atan_one;                              // 1.0
  double quotient;                              // -X / root
  double radicand;                              // 1 - X * X
};

const double kRadiansPerDegree = static_cast<double>(3.14159274f) / 180.0;

double Radians(float degrees) { return static_cast<double>(degrees) * kRadiansPerDegree; }

// The cosine of the central angle of a pair, as handed to the arc cosine.
float XOf(const Coordinates& p) {
  const double phi_a = Radians(p.alat);
  const double phi_b = Radians(p.blat);
  const double lon_diff = Radians(p.blon) - Radians(p.alon);
  return static_cast<float>(std::cos(phi_b) * std::cos(phi_a) * std::cos(lon_diff) +
                            std::sin(phi_b) * std::sin(phi_a));
}

std::array<float, kPairs.size()> XOfPairs() {
  std::array<float, kPairs.size()> xs;
  for (std::size_t k = 0; k < kPairs.size(); ++k) xs[k] = XOf(kPairs[k]);
  return xs;
}

std::array<MathsArguments, kPairs.size()> DistanceArguments() {
  std::array<MathsArguments, kPairs.size()> args;
  for (std::size_t k = 0; k < kPairs.size(); ++k) {
    const Coordinates& p = kPairs[k];
    const double x = static_cast<double>(XOf(p));
    const double radicand = 1.0 - x * x;
    const double root = radicand > 0.0 ? std::sqrt(radicand) : 1e-8;
    args[k] = {Radians(p.alat),
               Radians(p.blat),
               Radians(p.alat),
               Radians(p.blat),
               Radians(p.blon) - Radians(p.alon),
               1.0,
               -x / root,
               radicand};
  }
  return args;
}

void BM_DistanceFrom(benchmark::State& state) {
  std::size_t i = 0;
  for (auto _ : state) {
    const Coordinates& p = kPairs[i++ % kPairs.size()];
    benchmark::DoNotOptimize(calc::DistanceFrom(p.alat, p.alon, p.blat, p.blon));
  }
}
BENCHMARK(BM_DistanceFrom);

// Runs `maths` on the arguments of one pair after another, read afresh each
// time, and keeps what it gives.
template <class Maths>
void RunMaths(benchmark::State& state, Maths maths) {
  std::array<MathsArguments, kPairs.size()> args = DistanceArguments();
  benchmark::DoNotOptimize(args.data());
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::ClobberMemory();
    benchmark::DoNotOptimize(maths(args[i++ % args.size()]));
  }
}

void BM_DistanceMathsAlone(benchmark::State& state) {
  RunMaths(state, [](const MathsArguments& a) {
    return std::sin(a.sin_a) + std::sin(a.sin_b) + std::cos(a.cos_a) + std::cos(a.cos_b) +
           std::cos(a.cos_diff) + std::atan(a.atan_one) + std::atan(a.quotient) +
           std::sqrt(a.radicand);
  });
}
BENCHMARK(BM_DistanceMathsAlone);

// The same calls, each fed by the results before it as in the calculation:
// the arc cosine's root and arc tangent wait for the sines and cosines. The
// measure of their latency, where the one above measures their throughput.
void BM_DistanceMathsChained(benchmark::State& state) {
  RunMaths(state, [](const MathsArguments& a) {
    const double x = std::cos(a.cos_b) * std::cos(a.cos_a) * std::cos(a.cos_diff) +
                     std::sin(a.sin_b) * std::sin(a.sin_a);
    const double root = std::sqrt(std::fabs(1.0 - x * x)) + 1e-8;
    return std::atan(-x / root) + 2.0 * std::atan(a.atan_one);
  });
}
BENCHMARK(BM_DistanceMathsChained);

void BM_ArcCos(benchmark::State& state) {
  const std::array<float, kPairs.size()> xs = XOfPairs();
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(calc::ArcCos(xs[i++ % xs.size()]));
  }
}
BENCHMARK(BM_ArcCos);

void BM_ArcCosMathsAlone(benchmark::State& state) {
  RunMaths(state, [](const MathsArguments& a) {
    return std::atan(a.atan_one) + std::atan(a.quotient) + std::sqrt(a.radicand);
  });
}
BENCHMARK(BM_ArcCosMathsAlone);

// The same, the arc tangent waiting for the root.
void BM_ArcCosMathsChained(benchmark::State& state) {
  RunMaths(state, [](const MathsArguments& a) {
    const double root = std::sqrt(a.radicand) + 1e-8;
    return std::atan(a.quotient * root) + 2.0 * std::atan(a.atan_one);
  });
}
BENCHMARK(BM_ArcCosMathsChained);

void BM_StraightDistanceFrom(benchmark::State& state) {
  for (const Coordinates& p : kPairs) {
    if (std::bit_cast<std::uint32_t>(DistanceFrom(p.alat, p.alon, p.blat, p.blon).value) !=
        std::bit_cast<std::uint32_t>(StraightDistanceFrom(p.alat, p.alon, p.blat, p.blon))) {
      state.SkipWithError("the straight formula differs from DistanceFrom");
    }
  }
  std::size_t i = 0;
  for (auto _ : state) {
    const Coordinates& p = kPairs[i++ % kPairs.size()];
    benchmark::DoNotOptimize(StraightDistanceFrom(p.alat, p.alon, p.blat, p.blon));
  }
}
BENCHMARK(BM_StraightDistanceFrom);

// Both figures of a pair, as Hamlib's qrb gives them in one call.
void BM_DistanceFromAndAzimut(benchmark::State& state) {
  calc::BearingFields fields;
  std::size_t i = 0;
  for (auto _ : state) {
    const Coordinates& p = kPairs[i++ % kPairs.size()];
    benchmark::DoNotOptimize(DistanceFrom(p.alat, p.alon, p.blat, p.blon));
    benchmark::DoNotOptimize(calc::Azimut(fields, p.alat, p.alon, p.blat, p.blon));
  }
}
BENCHMARK(BM_DistanceFromAndAzimut);

// Hamlib's distance and bearing, longitude first.
void BM_Hamlib_qrb(benchmark::State& state) {
  double distance = 0.0;
  double azimuth = 0.0;
  std::size_t i = 0;
  const HamlibTimed timed(state);
  for (auto _ : state) {
    const Coordinates& p = kPairs[i++ % kPairs.size()];
    benchmark::DoNotOptimize(qrb(p.alon, p.alat, p.blon, p.blat, &distance, &azimuth));
    benchmark::DoNotOptimize(distance);
    benchmark::DoNotOptimize(azimuth);
  }
}
BENCHMARK(BM_Hamlib_qrb);

}  // namespace
}  // namespace pelmora::bench
