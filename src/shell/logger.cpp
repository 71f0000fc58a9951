#include "shell/logger.h"

#include <array>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <system_error>

#include "util/day_time.h"
#include "util/exception_text.h"
#include "util/files.h"

namespace tramolin {

// Where a message goes, in this order, by the kind of process and the level.
enum class Destination {
  kWindowLine,
  kWindowAppend,  // a window line, or appended to the last one for a continuing call
  kBufferLine,
  kErrorFile,
  kDebugFile,
  kStatusBar,
  kInformationBox,
  kErrorBox,
};

namespace {

// Writes the lines with CR LF ends. Appends, so two saves within one second (same file name)
// keep both sets of lines.
void WriteLines(const std::filesystem::path& file, const std::vector<std::string>& lines) {
  std::ofstream out(file, std::ios::binary | std::ios::app);
  for (const std::string& line : lines) out << line << "\r\n";
  out.flush();
  if (!out) {
    throw std::system_error(errno, std::generic_category(), "zapis pliku " + file.string());
  }
}

// Up to three destinations of one message, delivered in this order.
class Route {
 public:
  constexpr Route(std::initializer_list<Destination> destinations) {
    for (Destination destination : destinations) steps_[count_++] = destination;
  }
  const Destination* begin() const { return steps_.data(); }
  const Destination* end() const { return steps_.data() + count_; }

 private:
  std::array<Destination, 3> steps_{};
  std::size_t count_ = 0;
};

Route RouteFor(ProcessKind kind, int level, bool debug_mode) {
  using enum Destination;
  switch (kind) {
    case ProcessKind::kInteractive:
      switch (level) {
        case kLogError:
        case kLogSerious:
          return {kWindowLine, kErrorFile, kDebugFile};
        case kLogDiagnostic:
          return debug_mode ? Route{kDebugFile, kWindowLine} : Route{};
        case kLogInfo:
          return {kInformationBox, kWindowLine, kDebugFile};
        case kLogProgress:
          return {kWindowAppend, kDebugFile};
        case kLogStatus:
          return {kStatusBar};
        case kLogErrorBox:
          return {kErrorBox, kWindowLine, kDebugFile};
        default:
          return {};
      }
    case ProcessKind::kServiceWithWindow:
      switch (level) {
        case kLogError:
        case kLogSerious:
          return {kErrorFile, kWindowLine, kDebugFile};
        case kLogDiagnostic:
          return {kDebugFile};
        case kLogInfo:
        case kLogErrorBox:
          return {kWindowLine, kDebugFile};
        case kLogProgress:
          return {kWindowAppend, kDebugFile};
        case kLogStatus:
          return {kStatusBar};
        default:
          return {};
      }
    case ProcessKind::kServiceWithoutWindow:
      switch (level) {
        case kLogError:
        case kLogSerious:
          return {kErrorFile, kDebugFile};
        case kLogDiagnostic:
          return {kDebugFile};
        case kLogInfo:
        case kLogProgress:
        case kLogErrorBox:
          return {kBufferLine, kDebugFile};
        default:
          return {};
      }
  }
  return {};
}

}  // namespace

Logger::Logger(std::filesystem::path app_dir, ProcessKind kind, Clock clock)
    : app_dir_(std::move(app_dir)), kind_(kind), clock_(std::move(clock)) {}

void Logger::Log(std::string_view message, int level, bool continue_line) {
  if (debug_mode_) continue_line = false;
  for (Destination destination : RouteFor(kind_, level, debug_mode_)) {
    Deliver(destination, message, continue_line);
  }
  if (level == kLogRecord && full_log_) AddToFullLog(message, continue_line);
  if (!continue_line) SaveLog(false);
  if (broadcast_ && level != kLogStatus && level != kLogRecord) broadcast_(message, level);
}

void Logger::Deliver(Destination destination, std::string_view message, bool continue_line) {
  switch (destination) {
    case Destination::kWindowLine:
      return WindowLine(message);
    case Destination::kWindowAppend:
      return WindowAppend(message, continue_line);
    case Destination::kBufferLine:
      return BufferLine(message);
    case Destination::kErrorFile:
      return ErrorFileLine(message);
    case Destination::kDebugFile:
      return DebugFileLine(message);
    case Destination::kStatusBar:
      return StatusText(message);
    case Destination::kInformationBox:
      return MessageBox(message, MessageIcon::kInformation);
    case Destination::kErrorBox:
      return MessageBox(message, MessageIcon::kError);
  }
}

void Logger::AddToFullLog(std::string_view message, bool continue_line) {
  if (continue_line && !full_log_buffer_.empty()) {
    full_log_buffer_.back() += message;
    return;
  }
  full_log_buffer_.push_back(Stamped(message));
  SaveFullLog(false);
}

void Logger::SaveLog(bool force) {
  std::error_code error;
  std::filesystem::create_directories(LogDirectory(), error);
  if (error) return;
  const bool from_window = kind_ != ProcessKind::kServiceWithoutWindow;
  if (from_window && window_ == nullptr) return;
  try {
    const std::size_t count = from_window ? window_->LogLineCount() : log_buffer_.size();
    if (count == 0 || (!force && count <= kMaxLinesBeforeSave)) return;
    const std::filesystem::path file = LogDirectory() / (FileTimestamp(clock_()) + ".log");
    WriteLines(file, from_window ? window_->LogLines() : log_buffer_);
    if (from_window) {
      window_->ClearLog();
    } else {
      log_buffer_.clear();
    }
    Log("Zapis log do pliku ... \"" + file.string() + "\"", kLogProgress);
  } catch (...) {
    // The lines stay where they are and are saved with a later attempt.
  }
}

void Logger::SaveFullLog(bool force) {
  if (full_log_buffer_.empty()) return;
  if (!force && full_log_buffer_.size() <= kMaxLinesBeforeSave) return;
  std::filesystem::create_directories(LogDirectory());
  WriteLines(LogDirectory() / (FileTimestamp(clock_()) + "_full.log"), full_log_buffer_);
  full_log_buffer_.clear();
}

void Logger::LogException(std::string_view sender, const std::exception& error) {
  Log(ApplicationExceptionText(sender, error), kLogProgress);
}

void Logger::WindowLine(std::string_view message) {
  if (window_ == nullptr) return;
  try {
    window_->AppendLogLine(Stamped(message));
  } catch (...) {
  }
}

void Logger::WindowAppend(std::string_view message, bool continue_line) {
  if (!continue_line) return WindowLine(message);
  if (window_ == nullptr) return;
  try {
    window_->AppendToLastLogLine(message);
  } catch (...) {
  }
}

void Logger::BufferLine(std::string_view message) { log_buffer_.push_back(Stamped(message)); }

void Logger::StatusText(std::string_view message) {
  if (window_ == nullptr) return;
  try {
    window_->SetStatusText(message);
  } catch (...) {
  }
}

void Logger::MessageBox(std::string_view message, MessageIcon icon) {
  if (window_ == nullptr) return;
  try {
    window_->ShowMessageBox(message, icon);
  } catch (...) {
  }
}

void Logger::ErrorFileLine(std::string_view message) {
  AppendLineToFile(ErrorFile(), message, true, clock_());
}

void Logger::DebugFileLine(std::string_view message) {
  if (debug_mode_) AppendLineToFile(DebugFile(), message, true, clock_());
}

std::string Logger::Stamped(std::string_view message) const {
  return StampText(clock_()) + " " + std::string(message);
}

}  // namespace tramolin
