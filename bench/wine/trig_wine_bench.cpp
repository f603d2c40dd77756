// Our sine, cosine and arc tangent against what the 32-bit DLL used before
// them, on the same arguments as bench/trig_bench.cpp: MinGW's sin and cos
// (the x87 fsin and fcos instructions) and msvcrt's atan. A Windows program
// for Wine, built by the cross build and run by hand:
//   cmake/wine-run.sh build/win32/wineprefix build/win32/trig_wine_bench.exe
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "bench/trig_args.h"
#include "runtime/trig.h"

namespace {

volatile double sink = 0.0;

template <class F>
double NanosecondsPerCall(F f, const std::vector<double>& args) {
  double best = 1e30;
  for (int round = 0; round < 7; ++round) {
    const auto start = std::chrono::steady_clock::now();
    double sum = 0.0;
    for (int repeat = 0; repeat < 200; ++repeat) {
      for (const double x : args) sum += f(x);
    }
    const std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
    sink = sum;
    const double per_call = spent.count() / (200.0 * static_cast<double>(args.size()));
    if (per_call < best) best = per_call;
  }
  return best;
}

void Row(const char* name, double ours, double theirs) {
  std::printf("%-28s %8.2f ns %8.2f ns  %5.2fx\n", name, ours, theirs, theirs / ours);
}

}  // namespace

int main() {
  using pelmora::bench::TrigArguments;
  const std::vector<double> radians = TrigArguments(6.3, true);
  const std::vector<double> quotients = TrigArguments(10.0, false);
  const std::vector<double> large = TrigArguments(1e6, false);
  std::printf("%-28s %11s %11s  %s\n", "function (arguments)", "Pelmora", "before", "speed-up");
  Row("sin (float32 radians)",
      NanosecondsPerCall([](double x) { return pelmora::runtime::Sin(x); }, radians),
      NanosecondsPerCall([](double x) { return std::sin(x); }, radians));
  Row("cos (float32 radians)",
      NanosecondsPerCall([](double x) { return pelmora::runtime::Cos(x); }, radians),
      NanosecondsPerCall([](double x) { return std::cos(x); }, radians));
  Row("sin (within 1e6)",
      NanosecondsPerCall([](double x) { return pelmora::runtime::Sin(x); }, large),
      NanosecondsPerCall([](double x) { return std::sin(x); }, large));
  Row("atan (within 10)",
      NanosecondsPerCall([](double x) { return pelmora::runtime::Atan(x); }, quotients),
      NanosecondsPerCall([](double x) { return std::atan(x); }, quotients));
  return 0;
}
