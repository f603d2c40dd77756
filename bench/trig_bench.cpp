#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "bench/trig_args.h"
#include "runtime/trig.h"

// Our correctly rounded sine, cosine and arc tangent against glibc's, on the
// same arguments: float32 radians within two turns (what the calculations
// pass), doubles within 1e6, and arc tangents of quotients within +-10 and
// within +-1.

namespace {

using pelmora::bench::TrigArguments;

template <class F>
void Run(benchmark::State& state, F f, double span, bool float32) {
  const std::vector<double> args = TrigArguments(span, float32);
  for (auto _ : state) {
    double sum = 0.0;
    for (const double x : args) sum += f(x);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(args.size()));
}

double OurSin(double x) { return pelmora::runtime::Sin(x); }
double OurCos(double x) { return pelmora::runtime::Cos(x); }
double OurAtan(double x) { return pelmora::runtime::Atan(x); }
double GlibcSin(double x) { return std::sin(x); }
double GlibcCos(double x) { return std::cos(x); }
double GlibcAtan(double x) { return std::atan(x); }

void BM_Sin_Pelmora(benchmark::State& s) { Run(s, OurSin, 6.3, true); }
void BM_Sin_Glibc(benchmark::State& s) { Run(s, GlibcSin, 6.3, true); }
void BM_Cos_Pelmora(benchmark::State& s) { Run(s, OurCos, 6.3, true); }
void BM_Cos_Glibc(benchmark::State& s) { Run(s, GlibcCos, 6.3, true); }
void BM_Atan_Pelmora(benchmark::State& s) { Run(s, OurAtan, 10.0, false); }
void BM_Atan_Glibc(benchmark::State& s) { Run(s, GlibcAtan, 10.0, false); }
void BM_Atan1_Pelmora(benchmark::State& s) { Run(s, OurAtan, 1.0, false); }
void BM_Atan1_Glibc(benchmark::State& s) { Run(s, GlibcAtan, 1.0, false); }
void BM_Sin1e6_Pelmora(benchmark::State& s) { Run(s, OurSin, 1e6, false); }
void BM_Sin1e6_Glibc(benchmark::State& s) { Run(s, GlibcSin, 1e6, false); }
void BM_SinHuge_Pelmora(benchmark::State& s) { Run(s, OurSin, 1e300, false); }
void BM_SinHuge_Glibc(benchmark::State& s) { Run(s, GlibcSin, 1e300, false); }

BENCHMARK(BM_Sin_Pelmora);
BENCHMARK(BM_Sin_Glibc);
BENCHMARK(BM_Cos_Pelmora);
BENCHMARK(BM_Cos_Glibc);
BENCHMARK(BM_Atan_Pelmora);
BENCHMARK(BM_Atan_Glibc);
BENCHMARK(BM_Atan1_Pelmora);
BENCHMARK(BM_Atan1_Glibc);
BENCHMARK(BM_Sin1e6_Pelmora);
BENCHMARK(BM_Sin1e6_Glibc);
BENCHMARK(BM_SinHuge_Pelmora);
BENCHMARK(BM_SinHuge_Glibc);

}  // namespace
