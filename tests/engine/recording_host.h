// The host services and slot book of engine tests: records log lines, progress and error texts, and
// answers the mode questions with settable values.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "engine/host_services.h"
#include "engine/slot_book.h"

namespace tramolin::testing {

struct LogLine {
  std::string text;  // code page 1250
  int level;
};

class RecordingHost : public HostServices, public SlotBook {
 public:
  void Log(std::string_view message, int level, bool continue_line) override {
    if (on_log) on_log(message);
    if (continue_line && !lines.empty()) {
      lines.back().text += message;
    } else {
      lines.push_back({std::string(message), level});
    }
  }
  void SetProgress(int slot, int percent) override {
    progress[slot] = percent;
    if (on_progress) on_progress();
  }
  void SetErrorText(int slot, std::string_view text) override { errors[slot] = text; }
  std::string GetErrorText(int slot) const override {
    const auto it = errors.find(slot);
    return it == errors.end() ? std::string() : it->second;
  }
  int GetSlotDBNR(int slot) const override { return slot < 0 ? 0 : slot_dbnr; }
  int GetSlotLastTransID(int) const override { return slot_last_trans_id; }
  bool Closing() const override { return closing; }
  bool ServerMode() const override { return server_mode; }
  int LocalCopyNumber() const override { return local_copy_number; }
  bool EventsEnabled() const override { return events_enabled; }
  bool FullLog() const override { return full_log; }
  void DatabaseConnectStarted() override { ++connect_calls; }
  double Now() const override { return now; }

  // Lines whose text starts with the prefix.
  int CountLines(std::string_view prefix) const {
    int count = 0;
    for (const LogLine& line : lines) count += line.text.starts_with(prefix) ? 1 : 0;
    return count;
  }

  std::vector<LogLine> lines;
  std::function<void(std::string_view)> on_log;  // runs in the middle of the logging call
  std::function<void()> on_progress;             // runs after each record of an import
  std::map<int, int> progress;
  std::map<int, std::string> errors;
  int slot_dbnr = -1;
  int slot_last_trans_id = -1;
  bool closing = false;
  bool server_mode = true;
  int local_copy_number = 0;
  bool events_enabled = true;
  bool full_log = true;
  int connect_calls = 0;
  double now = 45123.5;
};

}  // namespace tramolin::testing
