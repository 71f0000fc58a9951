// What the data engine reaches on a worker thread in place of the program around it: the host
// services, whose log lines and timer calls go to the event loop by queued calls, and the slot
// book of the one job that runs, whose values the job brought along and whose error text and
// progress go back with it.
#pragma once

#include <QObject>
#include <functional>
#include <optional>
#include <string>

#include "engine/host_services.h"
#include "engine/slot_book.h"
#include "worker/call_queue.h"

namespace tramolin {

// Whose destination a job works for, as the engine asks its slot book.
struct JobSlot {
  int slot = -1;              // the index the engine's texts and progress name (-1: a client's own)
  int copy_number = -1;       // GetSlotDBNR
  int last_transaction = -1;  // GetSlotLastTransID
};

// Host services for the engine on a worker thread. The mode questions are answered from values
// taken when the worker was made; the log, the clock and the closing flag are the program's.
class WorkerHost final : public HostServices {
 public:
  // `loop` lives on the event loop's thread; calls to `host` are posted to it.
  WorkerHost(HostServices& host, CallQueue& loop);

  void Log(std::string_view message, int level, bool continue_line) override;
  bool Closing() const override;
  bool ServerMode() const override { return server_mode_; }
  int LocalCopyNumber() const override { return local_copy_number_; }
  bool EventsEnabled() const override { return events_enabled_; }
  bool FullLog() const override { return full_log_; }
  void DatabaseConnectStarted() override;
  double Now() const override;

 private:
  HostServices& host_;
  CallQueue& loop_;  // outlives the worker threads
  bool server_mode_;
  int local_copy_number_;
  bool events_enabled_;
  bool full_log_;
};

// The slot book of a worker: one job at a time.
class WorkerSlotBook final : public SlotBook {
 public:
  using Progress = std::function<void(int percent)>;  // called on the worker thread

  void StartJob(const JobSlot& slot, Progress progress);
  // The error text the job set, if it set one.
  std::optional<std::string> EndJob();

  void SetProgress(int slot, int percent) override;
  void SetErrorText(int slot, std::string_view text) override;
  std::string GetErrorText(int slot) const override;
  int GetSlotDBNR(int slot) const override;
  int GetSlotLastTransID(int slot) const override;

 private:
  JobSlot job_;
  Progress progress_;
  int last_percent_ = -1;
  std::optional<std::string> error_text_;
};

}  // namespace tramolin
