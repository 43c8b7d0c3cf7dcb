// Interleaved comparisons: each case runs beside its baseline in alternating
// rounds (case, baseline, then baseline, case, ...), so that the machine's
// drift lands in both halves of a round instead of inside the ratio. Each
// round gives one throughput ratio; the minimum, median and maximum over the
// rounds are printed.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace benchratio {

/// One repetition of a measured workload: returns the seconds of its timed
/// part (set-up and clean-up left out) and how many items it handled.
struct Run {
  double seconds;
  double items;
};
using Workload = std::function<Run()>;

/// Seconds taken by `work()`.
template <typename Work>
double Seconds(Work&& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// A case and the baseline it is compared with.
struct Comparison {
  std::string name, baselineName;
  Workload run, baseline;
};

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n == 0 ? 0.0 : (n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2);
}

/// Rounds from the command line ("--rounds=N") or `fallback`.
inline int RoundsFromArgs(int argc, char** argv, int fallback) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--rounds=", 0) == 0) return std::max(1, std::atoi(arg.c_str() + 9));
  }
  return fallback;
}

/// Runs every comparison for `rounds` rounds, interleaved, after one warm-up
/// round that is not counted; prints each side's median throughput (items/s
/// in `unit`) and the min/median/max of the per-round ratio case / baseline.
inline void RunInterleaved(const std::vector<Comparison>& comparisons, int rounds, const char* unit) {
  struct Tally {
    std::vector<double> runRate, baseRate, ratio;
  };
  std::vector<Tally> tallies(comparisons.size());
  for (int round = -1; round < rounds; ++round) {
    for (size_t c = 0; c < comparisons.size(); ++c) {
      const Comparison& cmp = comparisons[c];
      Run a{}, b{};
      if (round % 2 == 0) {
        a = cmp.run();
        b = cmp.baseline();
      } else {
        b = cmp.baseline();
        a = cmp.run();
      }
      if (round < 0 || a.seconds <= 0 || b.seconds <= 0) continue;  // warm-up
      const double ra = a.items / a.seconds, rb = b.items / b.seconds;
      tallies[c].runRate.push_back(ra);
      tallies[c].baseRate.push_back(rb);
      tallies[c].ratio.push_back(ra / rb);
    }
  }
  std::printf("%d interleaved rounds; ratio = throughput of the case / throughput of its baseline\n", rounds);
  for (size_t c = 0; c < comparisons.size(); ++c) {
    const Tally& t = tallies[c];
    if (t.ratio.empty()) continue;
    std::printf("%-26s median %12.4g %s/s\n", comparisons[c].name.c_str(), Median(t.runRate), unit);
    std::printf("%-26s median %12.4g %s/s\n", comparisons[c].baselineName.c_str(), Median(t.baseRate), unit);
    std::printf("ratio %s / %s: min %.4g  median %.4g  max %.4g\n\n", comparisons[c].name.c_str(),
                comparisons[c].baselineName.c_str(), *std::min_element(t.ratio.begin(), t.ratio.end()),
                Median(t.ratio), *std::max_element(t.ratio.begin(), t.ratio.end()));
  }
}

}  // namespace benchratio
