// The benchmark program: the benchmarks, then the ratios between them that
// Pelmora's speed is judged by. (That no method allocates is a test:
// tests/allocation_test.cpp.)
//
//   taskset -c 1 build/native/pelmora_bench --benchmark_repetitions=5
//
// With repetitions the ratios are taken between medians, or between the best
// rounds for the benchmarks that report one (the sine, cosine and arc
// tangent: --benchmark_enable_random_interleaving=true alternates the rounds).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace pelmora::bench {
namespace {

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
      } else if (run.aggregate_name == "min") {
        best_[run.run_name.str()] = run.GetAdjustedCPUTime();
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
    const auto best = best_.find(name);
    if (best != best_.end()) return best->second;
    const auto found = times_.find(name);
    return found == times_.end() ? 0.0 : found->second;
  }

  std::map<std::string, double> times_;
  std::map<std::string, double> best_;
  std::vector<std::string> failed_;
};

}  // namespace
}  // namespace pelmora::bench

int main(int argc, char** argv) {
  using pelmora::bench::Collector;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  bool ok = true;
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
  // The correctly rounded functions against glibc's (which are not), calls
  // made independently and each waiting for the last.
  const char* const kTrig[][2] = {{"Sin", "sin"},
                                  {"Cos", "cos"},
                                  {"SinCos", "sincos"},
                                  {"Atan", "atan"},
                                  {"Atan1", "atan within +-1"},
                                  {"Sin1e6", "sin within 1e6"}};
  for (const auto& [ours, theirs] : kTrig) {
    const std::string name(ours);
    const double goal = name == "Sin" || name == "Cos" || name == "Atan" ? 1.1 : 0.0;
    for (const bool dependent : {false, true}) {
      const std::string suffix = dependent ? "Dep" : "";
      const std::string what = std::string(ours) + " / glibc " + theirs +
                               (dependent ? ", dependent calls" : ", independent calls");
      ok &= collector.Ratio(what.c_str(), {"BM_" + name + "_Pelmora" + suffix},
                            {"BM_" + name + "_Glibc" + suffix}, goal);
    }
  }
  // The arc tangent without fused multiply-add (where the processor has it,
  // the path it replaces; elsewhere the only one).
  ok &= collector.Ratio("Atan without fused multiply-add / glibc, independent",
                        {"BM_Atan_PelmoraSse2"}, {"BM_Atan_Glibc"}, 0.0);
  ok &= collector.Ratio("Atan without fused multiply-add / glibc, dependent",
                        {"BM_Atan_PelmoraSse2Dep"}, {"BM_Atan_GlibcDep"}, 0.0);
  for (const std::string& failure : collector.Failed())
    std::printf("failed: %s\n", failure.c_str());
  return ok && collector.Failed().empty() ? 0 : 1;
}
