// The log window of a process without a display: keeps the lines like the window's log view and
// prints each one to the terminal in UTF-8. Message boxes become lines; the status bar is quiet.
#pragma once

#include <ostream>

#include "shell/window_view.h"

namespace tramolin {

class ConsoleView : public WindowView {
 public:
  explicit ConsoleView(std::ostream& out) : out_(out) {}

  void AppendLogLine(std::string_view line) override;
  void AppendToLastLogLine(std::string_view text) override;
  std::vector<std::string> LogLines() const override { return lines_; }
  std::size_t LogLineCount() const override { return lines_.size(); }
  void ClearLog() override { lines_.clear(); }
  void SetStatusText(std::string_view /*text*/) override {}
  void ShowMessageBox(std::string_view text, MessageIcon icon) override;
  void ShowActivityState(std::string_view /*name*/) override {}

 private:
  std::ostream& out_;
  std::vector<std::string> lines_;
};

}  // namespace tramolin
