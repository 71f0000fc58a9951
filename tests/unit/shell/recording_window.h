// A log window that remembers what it was asked to show.
#pragma once

#include <string>
#include <vector>

#include "shell/window_view.h"

namespace tramolin {

class RecordingWindow : public WindowView {
 public:
  void AppendLogLine(std::string_view line) override { lines.emplace_back(line); }
  void AppendToLastLogLine(std::string_view text) override {
    if (lines.empty()) lines.emplace_back();
    lines.back() += text;
  }
  std::vector<std::string> LogLines() const override { return lines; }
  std::size_t LogLineCount() const override { return lines.size(); }
  void ClearLog() override { lines.clear(); }
  void SetStatusText(std::string_view text) override { status = text; }
  void ShowMessageBox(std::string_view text, MessageIcon icon) override {
    boxes.emplace_back(text);
    last_icon = icon;
  }

  void ShowActivityState(std::string_view name) override { state = name; }

  std::vector<std::string> lines;
  std::vector<std::string> boxes;
  std::string status;
  std::string state;
  MessageIcon last_icon = MessageIcon::kInformation;
};

}  // namespace tramolin
