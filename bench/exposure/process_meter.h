// What a server process costs while it is attacked, read from /proc/<pid>: resident memory
// (VmRSS, and VmHWM, the peak since it was last reset) and processor time.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

namespace tramolin::bench {

class ProcessMeter {
 public:
  explicit ProcessMeter(int pid);

  // Megabytes of VmRSS / VmHWM; 0 when the process is gone.
  double ResidentMb() const;
  double PeakResidentMb() const;
  // Starts VmHWM afresh from the current VmRSS (clear_refs 5); false where that is not allowed.
  bool ResetPeak() const;
  // User and system time the process has used so far.
  double CpuSeconds() const;

 private:
  double StatusFieldMb(const char* field) const;

  std::filesystem::path directory_;
};

// Reads VmRSS every `interval` on a thread of its own and keeps the largest, until destroyed.
class ResidentPeakSampler {
 public:
  ResidentPeakSampler(const ProcessMeter& meter, std::chrono::milliseconds interval);

  double PeakMb() const { return peak_mb_.load(); }

 private:
  void Sample(const ProcessMeter& meter);

  std::atomic<double> peak_mb_{0};
  std::jthread thread_;  // last: stopped and joined before the peak goes
};

}  // namespace tramolin::bench
