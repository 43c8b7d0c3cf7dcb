// A console reporter that remembers the median items/s of each benchmark and,
// at the end, prints the ratio of named pairs measured in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace benchratio {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        auto it = run.counters.find("items_per_second");
        if (it != run.counters.end()) medians_[run.run_name.function_name] = it->second.value;
      }
    }
  }
  /// Median items/s of a benchmark (its function name), 0 when it did not run.
  double Median(const std::string& name) const {
    auto it = medians_.find(name);
    return it == medians_.end() ? 0.0 : it->second;
  }

 private:
  std::map<std::string, double> medians_;
};

/// Runs the registered benchmarks and prints "name: median items/s" lines and
/// the ratio numerator / denominator for every pair.
inline int RunAndPrintRatios(int argc, char** argv,
                             const std::vector<std::pair<std::string, std::string>>& pairs,
                             const char* unit) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  for (const auto& [num, den] : pairs) {
    const double a = reporter.Median(num), b = reporter.Median(den);
    if (a <= 0 || b <= 0) continue;
    std::printf("median %-28s %10.1f M %s/s\n", num.c_str(), a / 1e6, unit);
    std::printf("median %-28s %10.1f M %s/s\n", den.c_str(), b / 1e6, unit);
    std::printf("ratio  %s / %s = %.2f\n", num.c_str(), den.c_str(), a / b);
  }
  benchmark::Shutdown();
  return 0;
}

}  // namespace benchratio
