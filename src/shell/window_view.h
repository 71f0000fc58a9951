// What the program's core needs of its main window: the log view, the status bar, message boxes
// and the activity state's label. Without a display a terminal view stands in for the window.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tramolin {

enum class MessageIcon { kInformation, kError };

class WindowView {
 public:
  virtual ~WindowView() = default;

  // Adds a line at the end of the log view and scrolls to it.
  virtual void AppendLogLine(std::string_view line) = 0;
  // Appends text to the last line of the log view (a new line when the view is empty).
  virtual void AppendToLastLogLine(std::string_view text) = 0;
  virtual std::vector<std::string> LogLines() const = 0;
  virtual std::size_t LogLineCount() const = 0;
  virtual void ClearLog() = 0;
  virtual void SetStatusText(std::string_view text) = 0;
  // Modal: returns when the user has closed the box.
  virtual void ShowMessageBox(std::string_view text, MessageIcon icon) = 0;
  // The label with the name of the program's activity state.
  virtual void ShowActivityState(std::string_view name) = 0;
};

}  // namespace tramolin
