// The program's one reporting path: routes each message by its level and the kind of process to
// the error and debug files, the log window, the in-memory buffer, the status bar, message boxes
// and the full per-record log, and saves the window and buffers to dated files under "Log/".
#pragma once

#include <cstddef>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/window_view.h"
#include "util/log_level.h"

namespace tramolin {

// How the process runs decides where messages go.
enum class ProcessKind {
  kInteractive,           // started without -s
  kServiceWithWindow,     // -s with -v
  kServiceWithoutWindow,  // -s without -v: window lines go to the log buffer
};

enum class Destination;

class Logger {
 public:
  // More lines than this in the window or a buffer make the next Log save them to a file.
  static constexpr std::size_t kMaxLinesBeforeSave = 5000;

  using Clock = std::function<double()>;  // local time as a day count
  using Broadcast = std::function<void(std::string_view message, int level)>;

  Logger(std::filesystem::path app_dir, ProcessKind kind, Clock clock);

  void SetDebugMode(bool on) { debug_mode_ = on; }
  void SetFullLog(bool on) { full_log_ = on; }
  // The window, or nullptr while none exists. Not owned.
  void SetWindow(WindowView* window) { window_ = window; }
  // Called for every message but levels 5 and 7; the receiver decides whether anyone listens.
  void SetBroadcast(Broadcast broadcast) { broadcast_ = std::move(broadcast); }

  void Log(std::string_view message, int level, bool continue_line = false);
  void SaveLog(bool force);
  // A write error reaches the caller.
  void SaveFullLog(bool force);
  // An error that escaped an event handler; logged at level 4, the process goes on.
  void LogException(std::string_view sender, const std::exception& error);

  bool DebugMode() const { return debug_mode_; }
  const std::vector<std::string>& LogBuffer() const { return log_buffer_; }
  const std::vector<std::string>& FullLogBuffer() const { return full_log_buffer_; }
  std::filesystem::path ErrorFile() const { return app_dir_ / "Tramolin2_error.log"; }
  std::filesystem::path DebugFile() const { return app_dir_ / "Tramolin2_debug.log"; }
  std::filesystem::path LogDirectory() const { return app_dir_ / "Log"; }

 private:
  void Deliver(Destination destination, std::string_view message, bool continue_line);
  void AddToFullLog(std::string_view message, bool continue_line);

  void WindowLine(std::string_view message);
  void WindowAppend(std::string_view message, bool continue_line);
  void BufferLine(std::string_view message);
  void StatusText(std::string_view message);
  void MessageBox(std::string_view message, MessageIcon icon);
  void ErrorFileLine(std::string_view message);
  void DebugFileLine(std::string_view message);
  std::string Stamped(std::string_view message) const;

  std::filesystem::path app_dir_;
  ProcessKind kind_;
  Clock clock_;
  bool debug_mode_ = false;
  bool full_log_ = false;
  WindowView* window_ = nullptr;
  Broadcast broadcast_;
  std::vector<std::string> log_buffer_;
  std::vector<std::string> full_log_buffer_;
};

}  // namespace tramolin
