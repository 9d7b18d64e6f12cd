#ifndef KELVO_BENCH_MEDIAN_REPORTER_H
#define KELVO_BENCH_MEDIAN_REPORTER_H

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

// Keeps the console output and remembers each benchmark's median.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const std::string name = run.run_name.function_name;
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        medians[name] = {run.GetAdjustedCPUTime(), run.GetAdjustedRealTime()};
      } else if (run.run_type == Run::RT_Iteration && !medians.count(name)) {
        single[name] = {run.GetAdjustedCPUTime(), run.GetAdjustedRealTime()};
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  // CPU time and wall time per call, in ns.
  struct Times {
    double cpu = 0, real = 0;
  };
  Times Median(const std::string& name) const {
    auto it = medians.find(name);
    if (it != medians.end()) return it->second;
    auto one = single.find(name);
    return one != single.end() ? one->second : Times{};
  }

 private:
  std::map<std::string, Times> medians, single;
};

#endif
