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
  const double measured = rates_[comparison_.measured];
  const double reference = rates_[comparison_.reference];
  if (measured > 0 && reference > 0) {
    std::cout << comparison_.measured_label << ": " << static_cast<long long>(measured)
              << " records/s; " << comparison_.reference_label << ": "
              << static_cast<long long>(reference) << " records/s; " << comparison_.ratio_text
              << " " << measured / reference << " of that rate\n";
  }
}

int RunAndCompare(int argc, char** argv, RateComparison comparison) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter(std::move(comparison));
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

}  // namespace tramolin::bench
