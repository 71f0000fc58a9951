// Journal clean-up after a confirmation: deletes the journal entries of one destination that
// still carry the number of the export whose payload the destination confirmed.
#pragma once

#include <cstdint>
#include <optional>

#include "engine/fb/statement.h"
#include "engine/host_services.h"
#include "engine/slot_book.h"

namespace tramolin {

class TDMDB;

// Lives as long as its statement may: destroy it before the TDMDB it was made for.
class TJournalCleanup {
 public:
  TJournalCleanup(TDMDB& db, HostServices& host, SlotBook& slot_book);

  // Slot -1 (the client): destination 0 and the client's own kept transaction number; a server
  // slot: the slot's copy number and kept number (-1 and -1 for a slot that does not exist, so
  // nothing is deleted). The number of entries deleted once the delete was executed and
  // committed. A failure is rolled back, logged with the step it reached and kept as the slot's
  // error text.
  std::optional<std::int32_t> DeleteJournalEntries(int slot);

 private:
  std::int32_t Delete(int slot, int copy_number, int transaction_number, int& step);
  void ReportFailure(int slot, int copy_number, std::string_view message, int step);

  TDMDB& db_;
  HostServices& host_;
  SlotBook& slots_;
  fb::Statement IBQ_REPZMIANY_Delete2;
};

}  // namespace tramolin
