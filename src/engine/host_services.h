// What the data engine needs from the process around it: the log, the clock, the closing flag and
// the mode questions. The main data module implements it; engine tests use a recorder.
#pragma once

#include <exception>
#include <string_view>

#include "util/exception_text.h"
#include "util/log_level.h"

namespace tramolin {

class HostServices {
 public:
  virtual ~HostServices() = default;

  virtual void Log(std::string_view message, int level, bool continue_line = false) = 0;
  // An error that escaped the handling of an event of `sender` (a socket, a timer): logged as
  // such at level 4, and the program goes on.
  void LogException(std::string_view sender, const std::exception& error) {
    Log(ApplicationExceptionText(sender, error), kLogProgress);
  }

  virtual bool Closing() const = 0;
  virtual bool ServerMode() const = 0;
  virtual int LocalCopyNumber() const = 0;
  virtual bool EventsEnabled() const = 0;  // the Events option: ask the host to refresh
  virtual bool FullLog() const = 0;

  // ConnectDatabase has begun: the idle-disconnect timer stops.
  virtual void DatabaseConnectStarted() {}

  // Local time as a day count since 1899-12-30 00:00 (the fraction is the time of day).
  virtual double Now() const = 0;
};

}  // namespace tramolin
