// Change import: applies a change payload from the other side record by record (insert, update,
// delete or skip), honours the host application's edit locks, writes conflicts of a copy's own
// pending changes, removes the journal entries the applied changes caused for the sender, and
// commits in batches.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/change_batch.h"
#include "engine/change_statement.h"
#include "engine/fb/statement.h"
#include "engine/host_services.h"
#include "engine/record.h"
#include "engine/slot_book.h"
#include "engine/table_catalogue.h"

namespace tramolin {

class TDMDB;
class TConflictJournal;
class TSchemaAdaptation;
class TDatabaseEvents;

// A record that a user of the host application is editing in this database.
class TRepBlokadaException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// At most this many records in one call; reaching it is reported as an error.
inline constexpr int kImportLoopGuard = 99999;

// How long an import waits, in all, for other transactions holding records it must change
// before it gives up on the records since its last commit.
inline constexpr std::chrono::milliseconds kConflictPatience{30000};

// Lives as long as its statements may: destroy it before the TDMDB it was made for.
class TChangeImport {
 public:
  TChangeImport(TDMDB& db, HostServices& host, SlotBook& slot_book, TConflictJournal& conflicts,
                TSchemaAdaptation& schema, TDatabaseEvents& events,
                std::chrono::milliseconds conflict_patience = kConflictPatience);
  ~TChangeImport();
  TChangeImport(const TChangeImport&) = delete;
  TChangeImport& operator=(const TChangeImport&) = delete;

  // Applies the records of `payload` (a change payload without its two header numbers), which
  // it consumes as it goes. `sender_copy` is the IDREPKOPIE under which this database journals
  // for the sender; `slot` (-1 on the client) gets the progress and the error text. An empty
  // payload is a batch of records that had all vanished at the sender: done, with a count of 0.
  ImportResult ImportChanges(std::string_view& payload, std::int32_t sender_copy, int slot);

  struct OwedDelete;  // the deletion of the sender's entries a change still owes

 private:
  struct Run;
  struct Checkpoint;
  struct RecordState {
    bool pending = false;  // the sender still has journal entries of the record here
    bool exists = false;   // the record is in its table
  };
  enum class RecordResult {
    kApplied,  // applied or skipped: the import goes on
    kReplay,   // another transaction held a record: rolled back, to be applied again
    kLocked,
    kFailed,
  };

  ImportOutcome ImportRecords(std::string_view& payload, Run& run);
  bool ParseNext(std::string_view& payload, Run& run);
  bool KnownTable(Run& run);
  RecordResult ApplyRecord(Run& run);
  bool WaitForOtherTransaction(Run& run, const std::exception& e);
  void MarkCommitted(Run& run);
  std::string_view ReturnToCheckpoint(Run& run);
  void ApplyChecked(Run& run);
  void CommitBeforeEachRecord(Run& run);
  void CheckFitsTable(const Run& run);
  std::optional<RecordState> ReadRecordState(Run& run);
  bool HasPendingEntries(const Run& run);
  bool RecordExists(const Run& run);
  void ProbeConflict(Run& run, bool pending);
  void CheckExistence(Run& run, bool exists);
  void WriteConflictOf(Run& run);
  void CheckLock(const Run& run);
  bool ExecuteChange(Run& run);
  void ExecuteSafely(Run& run, fb::Statement& change);
  void ExecuteAndDelete(Run& run, fb::Statement& change);
  void TraceRowsChanged(const Run& run, fb::Statement& change);
  bool IsAttachmentRequest(const Run& run) const;
  bool KeepsEntriesForReply(const Run& run) const;
  void RunAttachmentRequest(Run& run);
  std::int64_t DeleteSenderEntries(const Run& run, const OwedDelete& owed);
  void PayOwedDelete(Run& run);
  void AdaptSchema(Run& run);
  void CommitInRhythm(Run& run);
  ImportOutcome Finish(std::string_view payload, Run& run);

  const std::vector<std::string>& TableColumns(std::string_view table);
  std::string ErrorText(int number, const Run& run, std::string_view message) const;
  RecordResult Fail(Run& run, int number, std::string_view message);
  void RollbackQuietly(Run& run);
  void Trace(const Run& run, std::string_view text, bool continue_line = false);

  TDMDB& db_;
  HostServices& host_;
  SlotBook& slots_;
  TConflictJournal& conflicts_;
  TSchemaAdaptation& schema_;
  TDatabaseEvents& events_;
  std::chrono::milliseconds conflict_patience_;
  fb::Statement IBQ_REPZMIANY_Select2;
  fb::Statement IBQ_REPZMIANY_Delete;
  fb::Statement IBQ_BLOKADY_Select;
  fb::Statement IBQ_COLUMNS;
  // IBQSetData1 and IBQSetData2: the existence checks and change statements by their text.
  StatementCache statements_;
  std::unordered_map<std::string, std::vector<std::string>> columns_;
};

}  // namespace tramolin
