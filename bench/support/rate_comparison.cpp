#include "support/rate_comparison.h"

#include <iostream>

namespace tramolin::bench {

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
  ConsoleReporter::ReportRuns(runs);
  for (const Run& run : runs) {
    const auto found = run.counters.find("records/s");
    if (found != run.counters.end()) rates_[run.benchmark_name()] = found->second.value;
  }
}

void RatioReporter::Finalize() {
  ConsoleReporter::Finalize();
  for (const RateComparison& comparison : comparisons_) {
    const double measured = rates_[comparison.measured];
    const double reference = rates_[comparison.reference];
    if (measured > 0 && reference > 0) {
      std::cout << comparison.measured_label << ": " << static_cast<long long>(measured)
                << " records/s; " << comparison.reference_label << ": "
                << static_cast<long long>(reference) << " records/s; " << comparison.ratio_text
                << " " << measured / reference << " of that rate\n";
    }
  }
}

int RunAndCompare(int argc, char** argv, std::vector<RateComparison> comparisons) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter(std::move(comparisons));
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

int RunAndCompare(int argc, char** argv, RateComparison comparison) {
  return RunAndCompare(argc, argv, std::vector<RateComparison>{std::move(comparison)});
}

}  // namespace tramolin::bench
