#include "worker/worker_host.h"

#include <utility>

namespace tramolin {

WorkerHost::WorkerHost(HostServices& host, CallQueue& loop)
    : host_(host),
      loop_(loop),
      server_mode_(host.ServerMode()),
      local_copy_number_(host.LocalCopyNumber()),
      events_enabled_(host.EventsEnabled()),
      full_log_(host.FullLog()) {}

void WorkerHost::Log(std::string_view message, int level, bool continue_line) {
  loop_.Post([&host = host_, text = std::string(message), level, continue_line] {
    host.Log(text, level, continue_line);
  });
}

bool WorkerHost::Closing() const { return host_.Closing(); }

void WorkerHost::DatabaseConnectStarted() {
  loop_.Post([&host = host_] { host.DatabaseConnectStarted(); });
}

double WorkerHost::Now() const { return host_.Now(); }

void WorkerSlotBook::StartJob(const JobSlot& slot, Progress progress) {
  job_ = slot;
  progress_ = std::move(progress);
  last_percent_ = -1;
  error_text_.reset();
}

std::optional<std::string> WorkerSlotBook::EndJob() {
  progress_ = nullptr;
  return std::exchange(error_text_, std::nullopt);
}

// Only a change is passed on: an export of 100,000 records reports at most 101 values.
void WorkerSlotBook::SetProgress(int, int percent) {
  if (percent == last_percent_ || !progress_) return;
  last_percent_ = percent;
  progress_(percent);
}

void WorkerSlotBook::SetErrorText(int, std::string_view text) { error_text_ = std::string(text); }

std::string WorkerSlotBook::GetErrorText(int) const { return error_text_.value_or(""); }

int WorkerSlotBook::GetSlotDBNR(int) const { return job_.copy_number; }

int WorkerSlotBook::GetSlotLastTransID(int) const { return job_.last_transaction; }

}  // namespace tramolin
