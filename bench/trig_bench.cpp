#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "bench/trig_args.h"
#include "runtime/trig.h"
#include "runtime/trig_internal.h"

// Our correctly rounded sine, cosine and arc tangent against glibc's, on the
// same arguments: float32 radians within two turns (what the calculations
// pass), doubles within 1e6, and arc tangents of quotients within +-10 and
// within +-1.
//
// Independent calls (the arguments known in advance, the results summed)
// show the throughput; dependent calls (each argument waits for the last
// result: plus that result times a zero the compiler cannot see) show the
// latency. The trig benchmarks report the best of their repetitions as well
// ("min"), which the ratios use: on a shared machine the fastest round is the
// one least disturbed.

namespace {

using pelmora::bench::TrigArguments;

// Our arc tangent without fused multiply-add while it lives (the path of
// processors without it, and of the 32-bit edition), for the Sse2 rows.
class PlainPath {
 public:
  explicit PlainPath(bool plain) : saved_(pelmora::runtime::trig::use_fused_multiply_add) {
    if (plain) pelmora::runtime::trig::use_fused_multiply_add = false;
  }
  ~PlainPath() { pelmora::runtime::trig::use_fused_multiply_add = saved_; }
  PlainPath(const PlainPath&) = delete;
  PlainPath& operator=(const PlainPath&) = delete;

 private:
  bool saved_;
};

template <class F>
void Run(benchmark::State& state, F f, double span, bool float32, bool plain) {
  const std::vector<double> args = TrigArguments(span, float32);
  const PlainPath path(plain);
  for (auto _ : state) {
    double sum = 0.0;
    for (const double x : args) sum += f(x);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(args.size()));
}

volatile double hidden_zero = 0.0;

template <class F>
void RunDependent(benchmark::State& state, F f, double span, bool float32, bool plain) {
  const std::vector<double> args = TrigArguments(span, float32);
  const PlainPath path(plain);
  const double zero = hidden_zero;
  for (auto _ : state) {
    double last = 0.0;
    for (const double x : args) last = f(x + last * zero);
    benchmark::DoNotOptimize(last);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(args.size()));
}

double OurSin(double x) { return pelmora::runtime::Sin(x); }
double OurCos(double x) { return pelmora::runtime::Cos(x); }
double OurAtan(double x) { return pelmora::runtime::Atan(x); }
double OurSinCos(double x) {
  const pelmora::runtime::SineCosine r = pelmora::runtime::SinCos(x);
  return r.sin + r.cos;
}
double GlibcSin(double x) { return std::sin(x); }
double GlibcCos(double x) { return std::cos(x); }
double GlibcAtan(double x) { return std::atan(x); }
double GlibcSinCos(double x) {
  double s, c;
  ::sincos(x, &s, &c);
  return s + c;
}

double Min(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

// Independent and dependent calls of f; plain: without fused multiply-add.
#define PELMORA_TRIG_BENCH(name, f, span, float32, plain)                                \
  void BM_##name(benchmark::State& s) { Run(s, f, span, float32, plain); }               \
  void BM_##name##Dep(benchmark::State& s) { RunDependent(s, f, span, float32, plain); } \
  BENCHMARK(BM_##name)->ComputeStatistics("min", Min);                                   \
  BENCHMARK(BM_##name##Dep)->ComputeStatistics("min", Min)

PELMORA_TRIG_BENCH(Sin_Pelmora, OurSin, 6.3, true, false);
PELMORA_TRIG_BENCH(Sin_Glibc, GlibcSin, 6.3, true, false);
PELMORA_TRIG_BENCH(Cos_Pelmora, OurCos, 6.3, true, false);
PELMORA_TRIG_BENCH(Cos_Glibc, GlibcCos, 6.3, true, false);
PELMORA_TRIG_BENCH(SinCos_Pelmora, OurSinCos, 6.3, true, false);
PELMORA_TRIG_BENCH(SinCos_Glibc, GlibcSinCos, 6.3, true, false);
PELMORA_TRIG_BENCH(Atan_Pelmora, OurAtan, 10.0, false, false);
PELMORA_TRIG_BENCH(Atan_PelmoraSse2, OurAtan, 10.0, false, true);
PELMORA_TRIG_BENCH(Atan_Glibc, GlibcAtan, 10.0, false, false);
PELMORA_TRIG_BENCH(Atan1_Pelmora, OurAtan, 1.0, false, false);
PELMORA_TRIG_BENCH(Atan1_Glibc, GlibcAtan, 1.0, false, false);
PELMORA_TRIG_BENCH(Sin1e6_Pelmora, OurSin, 1e6, false, false);
PELMORA_TRIG_BENCH(Sin1e6_Glibc, GlibcSin, 1e6, false, false);

void BM_SinHuge_Pelmora(benchmark::State& s) { Run(s, OurSin, 1e300, false, false); }
void BM_SinHuge_Glibc(benchmark::State& s) { Run(s, GlibcSin, 1e300, false, false); }
BENCHMARK(BM_SinHuge_Pelmora);
BENCHMARK(BM_SinHuge_Glibc);

}  // namespace
