// Benchmarks of one run compared in pairs by their "records/s" counters: the console report, then
// one line per pair with both rates and their ratio.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace tramolin::bench {

struct RateComparison {
  std::string
      measured;  // benchmark name as reported, e.g. "BM_PrepareChanges/iterations:3/real_time"
  std::string reference;        // the one it is compared with
  std::string measured_label;   // "PrepareChanges"
  std::string reference_label;  // "plain SELECT"
  std::string ratio_text;       // "the export reaches"
};

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  explicit RatioReporter(std::vector<RateComparison> comparisons)
      : comparisons_(std::move(comparisons)) {}
  void ReportRuns(const std::vector<Run>& runs) override;
  void Finalize() override;

 private:
  std::vector<RateComparison> comparisons_;
  std::map<std::string, double> rates_;
};

// The benchmark program's main: runs every registered benchmark and prints the comparisons.
int RunAndCompare(int argc, char** argv, std::vector<RateComparison> comparisons);
int RunAndCompare(int argc, char** argv, RateComparison comparison);

}  // namespace tramolin::bench
