// A console reporter that also keeps each benchmark's real time, so that a
// benchmark program can print its ratio against the baseline of the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace quillmark::bench {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs)
      if (run.run_type == Run::RT_Iteration) {
        times[run.benchmark_name()] = run.GetAdjustedRealTime();
        byFunction[run.run_name.function_name] = run.GetAdjustedRealTime();
      }
  }
  // Real time per iteration, by full benchmark name ("BM_X/real_time") and
  // by function name alone ("BM_X").
  std::map<std::string, double> times;
  std::map<std::string, double> byFunction;
};

}  // namespace quillmark::bench
