#include "process_meter.h"

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace tramolin::bench {

ProcessMeter::ProcessMeter(int pid) : directory_("/proc/" + std::to_string(pid)) {}

double ProcessMeter::ResidentMb() const { return StatusFieldMb("VmRSS:"); }

double ProcessMeter::PeakResidentMb() const { return StatusFieldMb("VmHWM:"); }

bool ProcessMeter::ResetPeak() const {
  std::ofstream clear_refs(directory_ / "clear_refs");
  clear_refs << "5";
  clear_refs.flush();
  return clear_refs.good();
}

// The fields 14 and 15 of stat (utime, stime), counted after the command name in parentheses,
// which may hold blanks of its own.
double ProcessMeter::CpuSeconds() const {
  std::ifstream in(directory_ / "stat");
  std::string line;
  std::getline(in, line);
  const std::size_t name_end = line.rfind(')');
  if (name_end == std::string::npos) return 0;
  std::istringstream fields(line.substr(name_end + 2));
  std::string skipped;
  for (int field = 3; field < 14; ++field) fields >> skipped;
  unsigned long long user = 0;
  unsigned long long system = 0;
  fields >> user >> system;
  return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double ProcessMeter::StatusFieldMb(const char* field) const {
  std::ifstream in(directory_ / "status");
  std::string name;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    double kilobytes = 0;
    if (words >> name >> kilobytes && name == field) return kilobytes / 1024;
  }
  return 0;
}

ResidentPeakSampler::ResidentPeakSampler(const ProcessMeter& meter,
                                         std::chrono::milliseconds interval)
    : thread_([this, meter, interval](const std::stop_token& stop) {
        while (!stop.stop_requested()) {
          Sample(meter);
          std::this_thread::sleep_for(interval);
        }
        Sample(meter);
      }) {}

void ResidentPeakSampler::Sample(const ProcessMeter& meter) {
  const double now = meter.ResidentMb();
  if (now > peak_mb_.load()) peak_mb_.store(now);
}

}  // namespace tramolin::bench
