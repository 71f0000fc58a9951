// What the data engine needs from the rest of the program. The main data module implements it;
// engine tests implement it with a recorder. Slot -1 stands for the client side's own values.
#pragma once

#include <string>
#include <string_view>

#include "util/log_level.h"

namespace tramolin {

class EngineHost {
 public:
  virtual ~EngineHost() = default;

  virtual void Log(std::string_view message, int level, bool continue_line = false) = 0;

  // Progress of the current export or import, 0-100, shown for the slot (or the main gauge).
  virtual void SetProgress(int slot, int percent) = 0;
  virtual void SetErrorText(int slot, std::string_view text) = 0;
  virtual std::string GetErrorText(int slot) const = 0;
  virtual int GetSlotDBNR(int slot) const = 0;
  virtual int GetSlotLastTransID(int slot) const = 0;

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
