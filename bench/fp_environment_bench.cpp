#include <benchmark/benchmark.h>

#include "calc/distance.h"
#include "runtime/fp_guard.h"

// What the floating-point guard of every entry into Pelmora.dll and
// libpelmora costs (runtime/fp_guard.h), for a caller in the default
// environment with the inexact flag set: the
// guard alone when the call leaves the x87 status word as it found it (the
// usual case), the guard when the call changed it (the status word is then
// written back through the x87 environment), and one ArcCos, the cheapest
// calculation, without and with the guard.

namespace {

using pelmora::runtime::FpGuard;

void BM_GuardAlone(benchmark::State& state) {
  for (auto _ : state) {
    const FpGuard guard;
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_GuardAlone);

// An x87 instruction that sets the condition codes inside the guard, as a
// signalling NaN passed through the x87 stack does on i686: there the exit
// takes its slower path. On x86_64 the guard keeps no x87 state, and this
// costs what the guard alone does.
void BM_GuardStatusChanged(benchmark::State& state) {
  for (auto _ : state) {
    const FpGuard guard;
    __asm__ volatile("fld1\n\tfxam\n\tfstp %%st(0)" ::: "memory", "st");
  }
}
BENCHMARK(BM_GuardStatusChanged);

void BM_ArcCosUnguarded(benchmark::State& state) {
  float x = 0.5f;
  for (auto _ : state) {
    benchmark::DoNotOptimize(x);
    benchmark::DoNotOptimize(pelmora::calc::ArcCos(x));
  }
}
BENCHMARK(BM_ArcCosUnguarded);

void BM_ArcCosGuarded(benchmark::State& state) {
  float x = 0.5f;
  for (auto _ : state) {
    const FpGuard guard;
    benchmark::DoNotOptimize(x);
    benchmark::DoNotOptimize(pelmora::calc::ArcCos(x));
  }
}
BENCHMARK(BM_ArcCosGuarded);

}  // namespace
