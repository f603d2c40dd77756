// The benchmark program: first how often each method allocates, then the
// benchmarks, then the ratios between them that Pelmora's speed is judged by.
//
//   taskset -c 1 build/native/pelmora_bench --benchmark_repetitions=5
//
// With repetitions the ratios are taken between medians.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "bench/places.h"
#include "calc/bearing.h"
#include "calc/decoding.h"
#include "calc/distance.h"
#include "calc/encoding.h"

// ---- A counting allocator: every operator new of the program ----

namespace {
bool counting = false;
long allocations = 0;

void* Allocate(std::size_t size) {
  if (counting) ++allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace pelmora::bench {
namespace {

// Heap allocations of one call of `call`, on average over the fixed set.
template <class Call>
double AllocationsPerCall(Call call) {
  allocations = 0;
  counting = true;
  for (std::size_t k = 0; k < kPlaces.size(); ++k) call(k);
  counting = false;
  return static_cast<double>(allocations) / static_cast<double>(kPlaces.size());
}

// Prints the allocations of every method; false when one allocates beyond
// its result string.
bool CheckAllocations() {
  calc::BearingFields fields;
  std::vector<runtime::Text> grids;
  for (const std::u16string& l : Locators()) grids.emplace_back(l);
  // The locators again, each followed by a thousand other units.
  std::vector<runtime::Text> long_grids;
  for (const std::u16string& l : Locators())
    long_grids.emplace_back(l + std::u16string(1000, u'x'));
  struct Row {
    const char* method;
    double per_call;
    double allowed;  // one for the result string of an encoder
  };
  const Row rows[] = {
      {"sLocator", AllocationsPerCall([](std::size_t k) {
         benchmark::DoNotOptimize(calc::sLocator(kPlaces[k].lat, kPlaces[k].lon));
       }),
       1.0},
      {"GridFromLatLong", AllocationsPerCall([](std::size_t k) {
         benchmark::DoNotOptimize(calc::GridFromLatLong(kPlaces[k].lat, kPlaces[k].lon));
       }),
       1.0},
      {"LatFromGrid", AllocationsPerCall([&](std::size_t k) {
         benchmark::DoNotOptimize(calc::LatFromGrid(grids[k]));
       }),
       0.0},
      {"LongFromGrid", AllocationsPerCall([&](std::size_t k) {
         benchmark::DoNotOptimize(calc::LongFromGrid(grids[k]));
       }),
       0.0},
      {"LatFromGrid, 1006 units", AllocationsPerCall([&](std::size_t k) {
         benchmark::DoNotOptimize(calc::LatFromGrid(long_grids[k]));
       }),
       0.0},
      {"LongFromGrid, 1006 units", AllocationsPerCall([&](std::size_t k) {
         benchmark::DoNotOptimize(calc::LongFromGrid(long_grids[k]));
       }),
       0.0},
      {"Azimut", AllocationsPerCall([&](std::size_t k) {
         const Pair& p = PairAt(k);
         benchmark::DoNotOptimize(calc::Azimut(fields, p.a.lat, p.a.lon, p.b.lat, p.b.lon));
       }),
       0.0},
      {"DistanceFrom", AllocationsPerCall([](std::size_t k) {
         const Pair& p = PairAt(k);
         benchmark::DoNotOptimize(calc::DistanceFrom(p.a.lat, p.a.lon, p.b.lat, p.b.lon));
       }),
       0.0},
      {"ArcCos", AllocationsPerCall([](std::size_t k) {
         benchmark::DoNotOptimize(calc::ArcCos(static_cast<float>(k) / 8.0f));
       }),
       0.0},
      {"Distanse", AllocationsPerCall([](std::size_t k) {
         benchmark::DoNotOptimize(calc::Distanse(kPlaces[k].lat, kPlaces[k].lon));
       }),
       0.0},
  };
  bool ok = true;
  std::printf("%-26s %s\n", "method", "heap allocations per call");
  for (const Row& row : rows) {
    const bool within = row.per_call <= row.allowed;
    ok = ok && within;
    std::printf("%-26s %.2f%s\n", row.method, row.per_call,
                within ? "" : "  <- more than the result string");
  }
  std::printf("\n");
  return ok;
}

// Collects the CPU time of every benchmark (the median, with repetitions)
// while the console shows them as usual. CPU time, not real time: the
// machine may be busy with other work, which real time would count.
class Collector final : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) {
        failed_.push_back(run.benchmark_name() + ": " + run.error_message);
        continue;
      }
      if (run.run_type == Run::RT_Iteration || run.aggregate_name == "median") {
        times_[run.run_name.str()] = run.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // Prints one ratio against its goal (a ceiling; 0 for none); false when a
  // goal is missed.
  bool Ratio(const char* what, std::vector<std::string> over, std::vector<std::string> under,
             double goal) {
    double a = 0.0;
    double b = 0.0;
    for (const std::string& name : over) a += Time(name);
    for (const std::string& name : under) b += Time(name);
    if (a <= 0.0 || b <= 0.0) {
      std::printf("%-52s   not measured\n", what);
      return goal == 0.0;
    }
    const double ratio = a / b;
    if (goal == 0.0) {
      std::printf("%-52s %6.2f\n", what, ratio);
      return true;
    }
    const bool met = ratio <= goal;
    std::printf("%-52s %6.2f   at most %.2f %s\n", what, ratio, goal, met ? "met" : "MISSED");
    return met;
  }

  const std::vector<std::string>& Failed() const { return failed_; }

 private:
  double Time(const std::string& name) const {
    const auto found = times_.find(name);
    return found == times_.end() ? 0.0 : found->second;
  }

  std::map<std::string, double> times_;
  std::vector<std::string> failed_;
};

}  // namespace
}  // namespace pelmora::bench

int main(int argc, char** argv) {
  using pelmora::bench::Collector;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  bool ok = pelmora::bench::CheckAllocations();
  Collector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);
  benchmark::Shutdown();

  std::printf("\n%-52s %6s\n", "ratio (CPU time)", "");
  ok &= collector.Ratio("sLocator / Hamlib longlat2locator", {"BM_sLocator"},
                        {"BM_Hamlib_longlat2locator"}, 0.5);
  ok &= collector.Ratio("GridFromLatLong / Hamlib longlat2locator", {"BM_GridFromLatLong"},
                        {"BM_Hamlib_longlat2locator"}, 0.5);
  ok &= collector.Ratio("LatFromGrid+LongFromGrid / Hamlib locator2longlat", {"BM_DecodePair"},
                        {"BM_Hamlib_locator2longlat"}, 0.5);
  ok &= collector.Ratio("LatFromGrid+LongFromGrid / straight decode", {"BM_DecodePair"},
                        {"BM_StraightDecodePair"}, 1.5);
  ok &= collector.Ratio("  the same of a 400 MB text / of its locator",
                        {"BM_DecodePairOf400MBText"}, {"BM_DecodePair"}, 1.5);
  ok &= collector.Ratio("DistanceFrom / straight formula", {"BM_DistanceFrom"},
                        {"BM_StraightDistanceFrom"}, 1.2);
  ok &= collector.Ratio("Azimut / straight formula", {"BM_Azimut"}, {"BM_StraightAzimut"}, 1.3);
  ok &= collector.Ratio("DistanceFrom+Azimut / Hamlib qrb", {"BM_DistanceFromAndAzimut"},
                        {"BM_Hamlib_qrb"}, 0.0);
  ok &= collector.Ratio("  straight formulas / Hamlib qrb",
                        {"BM_StraightDistanceFrom", "BM_StraightAzimut"}, {"BM_Hamlib_qrb"}, 0.0);
  for (const std::string& failure : collector.Failed())
    std::printf("failed: %s\n", failure.c_str());
  return ok && collector.Failed().empty() ? 0 : 1;
}
