// Where the data engine reports the progress and errors of one exchange and reads the
// destination's copy number and kept transaction number. A server keeps one entry per client
// slot (indices move when a slot goes); slot -1 stands for the client side's own values.
#pragma once

#include <string>
#include <string_view>

namespace tramolin {

class SlotBook {
 public:
  virtual ~SlotBook() = default;

  // Progress of the current export or import, 0-100, shown for the slot (or the main gauge).
  virtual void SetProgress(int slot, int percent) = 0;
  virtual void SetErrorText(int slot, std::string_view text) = 0;
  virtual std::string GetErrorText(int slot) const = 0;
  // The copy number and the last export's transaction number of the slot's destination; -1 for
  // a slot that does not exist.
  virtual int GetSlotDBNR(int slot) const = 0;
  virtual int GetSlotLastTransID(int slot) const = 0;
};

}  // namespace tramolin
