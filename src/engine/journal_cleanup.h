// Journal clean-up after a confirmation: deletes the journal entries of one destination that
// still carry the number of the export whose payload the destination confirmed. And after an
// import: clears away the entries the import wrote and deleted again.
#pragma once

#include <cstdint>
#include <optional>

#include "engine/fb/statement.h"
#include "engine/host_services.h"
#include "engine/key_set.h"
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

  // The journal triggers write an entry for the sender of every change an import makes, and the
  // import deletes it again. Read after the import has committed, the deleted entries are
  // cleared away by the engine there and then, instead of all at once by the next export for
  // the sender, which reads every entry of its destination. Reads the entries of `records` for
  // `sender`; a failure leaves them to that export.
  void SweepImportedEntries(std::int32_t sender, const RecordsByTable& records);

 private:
  std::int32_t Delete(int slot, int copy_number, int transaction_number, int& step);
  void ReportFailure(int slot, int copy_number, std::string_view message, int step);

  TDMDB& db_;
  HostServices& host_;
  SlotBook& slots_;
  fb::Statement IBQ_REPZMIANY_Delete2;
  KeySetStatement entries_of_records_;
};

}  // namespace tramolin
