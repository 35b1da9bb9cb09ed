// Ratios against a baseline that hold on a noisy machine.
//
// compareInRounds runs a baseline and a candidate workload in interleaved
// rounds (baseline, candidate, baseline, candidate, ...), so that a change of
// the machine's load while the benchmark runs falls on both sides alike, and
// reports the median of the per-round time ratios with its spread, and the
// processor time per call of each side. RatioReporter keeps each benchmark's
// real time, for programs that print ratios of whole benchmarks.
#pragma once

#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace quillmark::bench {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs)
      if (run.run_type == Run::RT_Iteration) times[run.benchmark_name()] = run.GetAdjustedRealTime();
  }
  // Real time per iteration, by full benchmark name ("BM_X/real_time").
  std::map<std::string, double> times;
};

// The processor time the calling thread has used, in microseconds.
inline double threadCpuMicroseconds() {
  timespec cpu{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
  return static_cast<double>(cpu.tv_sec) * 1e6 + static_cast<double>(cpu.tv_nsec) / 1e3;
}

// The median of `values` (the mean of the two middle ones for an even
// count); 0 for none.
inline double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// What one side of a comparison took in each round.
struct RoundTimes {
  std::vector<double> wallMicroseconds;
  std::vector<double> cpuMicroseconds;  // of the calling thread
};

template <typename Workload>
void timeRound(Workload& workload, RoundTimes& times) {
  const auto wallStart = std::chrono::steady_clock::now();
  const double cpuStart = threadCpuMicroseconds();
  workload();
  times.cpuMicroseconds.push_back(threadCpuMicroseconds() - cpuStart);
  times.wallMicroseconds.push_back(
      std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - wallStart).count());
}

struct Comparison {
  std::string baselineName;
  std::string candidateName;
  int rounds = 10;
  int callsPerRound = 1;  // calls each side's workload makes in a round, for the per-call figures
};

// Runs `comparison.rounds` interleaved rounds of `baseline()` and
// `candidate()` on the calling thread, once per iteration of `state` (give the
// benchmark Iterations(1)), and reports as counters of `state`:
//   ratio_median, ratio_min, ratio_max: candidate / baseline wall time over
//     the rounds;
//   cpu_ratio_median: the same for the calling thread's processor time;
//   base_cpu_us, cand_cpu_us: the median processor time per call;
//   base_ms, cand_ms: the median wall time of a round.
// Also prints one line that says the same in words.
template <typename Baseline, typename Candidate>
void compareInRounds(benchmark::State& state, const Comparison& comparison, Baseline baseline, Candidate candidate) {
  RoundTimes base;
  RoundTimes cand;
  for (auto _ : state) {
    for (int round = 0; round < comparison.rounds; ++round) {
      timeRound(baseline, base);
      timeRound(candidate, cand);
    }
  }
  std::vector<double> ratios;
  std::vector<double> cpuRatios;
  for (std::size_t i = 0; i < base.wallMicroseconds.size(); ++i) {
    ratios.push_back(cand.wallMicroseconds[i] / base.wallMicroseconds[i]);
    cpuRatios.push_back(cand.cpuMicroseconds[i] / base.cpuMicroseconds[i]);
  }
  if (ratios.empty()) return;
  const double calls = comparison.callsPerRound;
  const double ratio = median(ratios);
  const double low = *std::min_element(ratios.begin(), ratios.end());
  const double high = *std::max_element(ratios.begin(), ratios.end());
  state.counters["ratio_median"] = ratio;
  state.counters["ratio_min"] = low;
  state.counters["ratio_max"] = high;
  state.counters["cpu_ratio_median"] = median(cpuRatios);
  state.counters["base_cpu_us"] = median(base.cpuMicroseconds) / calls;
  state.counters["cand_cpu_us"] = median(cand.cpuMicroseconds) / calls;
  state.counters["base_ms"] = median(base.wallMicroseconds) / 1e3;
  state.counters["cand_ms"] = median(cand.wallMicroseconds) / 1e3;
  std::printf(
      "%s / %s: median time ratio %.2f over %zu interleaved rounds (min %.2f, max %.2f); "
      "processor time per call %.1f us against %.1f us (ratio %.2f)\n",
      comparison.candidateName.c_str(), comparison.baselineName.c_str(), ratio, ratios.size(), low, high,
      median(cand.cpuMicroseconds) / calls, median(base.cpuMicroseconds) / calls, median(cpuRatios));
  std::fflush(stdout);
}

}  // namespace quillmark::bench
