// Change export: counts the journal entries pending for a destination and turns them into a
// change payload, marking the exported entries with the export transaction's number so that the
// destination's confirmation deletes exactly them.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/change_batch.h"
#include "engine/fb/statement.h"
#include "engine/host_services.h"
#include "engine/journal_walk.h"
#include "engine/slot_book.h"

namespace tramolin {

class TDMDB;
class TRecordReader;

// How an export finds and reads its records and marks their entries. Both give the same payload
// and the same marks; kPerRecord, the grouped select and one select and one update per record,
// is kept as the reference.
enum class ExportMethod {
  // The records found by walking the journal (journal_walk.h); consecutive records of one table
  // read with one statement; the entries marked with one update when every pending record was
  // sent, else by sets of keys per table. With full logging each record is still marked by
  // itself, so that its line shows the entries marked.
  kInSets,
  kPerRecord,
};

// Lives as long as its statements may: destroy it before the TDMDB it was made for.
class TChangeExport {
 public:
  TChangeExport(TDMDB& db, HostServices& host, SlotBook& slot_book,
                ExportMethod method = ExportMethod::kInSets);

  // Both counts stay 0 when counting fails; errors are swallowed.
  ChangeCounts CountChanges(std::int32_t copy_number);
  // Every copy the database knows and its pending entries, by copy number: a read of the whole
  // journal. None when the database cannot be read.
  std::optional<std::vector<CopyBacklog>> CountBacklogs();

  // Exports what is pending for `copy_number` (only records with an insert among their entries
  // when new_only) into one payload of about kPayloadLimit characters at most. Progress and
  // error texts go to `slot` (-1: the client's own). NULL columns are written as explicit NULLs
  // only when asked (a destination that agreed on them). The header's total is the cycle's
  // count (or a new one), never below the batch's own count. False, with an empty payload, when
  // the database cannot be reached or anything fails; a failure rolls back every mark it made.
  bool PrepareChanges(std::int32_t copy_number, bool new_only, int slot, PreparedChanges& out,
                      NullColumns nulls = NullColumns::kLeftOut, const ExportCycle& cycle = {});

 private:
  std::int32_t PendingEntries(std::int32_t copy_number, const ExportCycle& cycle);
  void BindInFlight(std::int32_t in_flight);
  void ClearStaleMarks(std::int32_t copy_number, int slot);
  std::int32_t ReadTransactionNumber();
  void ExportRecords(fb::Statement& select, std::int32_t copy_number, int slot, NullColumns nulls,
                     PreparedChanges& out);
  void ExportInSets(std::int32_t copy_number, bool new_only, int slot, NullColumns nulls,
                    std::int32_t in_flight, PreparedChanges& out);
  void AppendRecord(int slot, std::int32_t record_id, std::int32_t table_number,
                    std::int32_t change_type, std::string_view text, PreparedChanges& out);
  bool EndOfBatch(int slot, PreparedChanges& out);
  // Each gives the number of entries it marked.
  std::int32_t MarkExported(std::int32_t copy_number, std::int32_t record_id,
                            std::int32_t table_number);
  std::int32_t MarkAll(std::int32_t copy_number);
  std::int32_t MarkSets(std::int32_t copy_number, std::int32_t in_flight,
                        RecordsByTable& records_by_table);
  void ReportFailure(std::int32_t copy_number, int slot, std::string_view message);
  void LogRecord(std::string_view text, bool continue_line = false);

  TDMDB& db_;
  HostServices& host_;
  ExportMethod method_;
  SlotBook& slots_;
  TRecordReader& reader_;
  fb::Statement IBQ_REPZMIANY_Select;
  fb::Statement IBQ_REPZMIANY_NEW_Select;
  fb::Statement IBQ_REPZMIANY_Update1;
  fb::Statement IBQ_REPZMIANY_Update2;
  fb::Statement mark_all_;
  KeySetStatement mark_set_;
  TJournalWalk walk_;
  fb::Statement IBQ_CURRENT_TRANSACTION;
  fb::Statement IBQ_REPZMIANY_Count;
  fb::Statement count_backlogs_;
};

}  // namespace tramolin
