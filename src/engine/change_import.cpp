#include "engine/change_import.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <optional>
#include <random>
#include <thread>

#include "engine/conflict_journal.h"
#include "engine/database_events.h"
#include "engine/dmdb.h"
#include "engine/fb/error.h"
#include "engine/record_reader.h"
#include "engine/record_text.h"
#include "engine/schema_adaptation.h"
#include "util/cp1250.h"
#include "util/log_level.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

constexpr std::string_view kPendingEntries =
    "SELECT ID FROM REPZMIANY\n"
    "WHERE IDREPKOPIE=:IDREPKOPIE\n"
    "AND IDREKORDU=:IDREKORDU\n"
    "AND IDTABELI=:IDTABELI";
constexpr std::string_view kLiveLock =
    "SELECT \n"
    "  IDBLOKADY ID\n"
    "FROM BLOKADY B\n"
    "JOIN SESJE S ON S.ID=B.IDSESJI\n"
    "WHERE B.TYPOBIEKTU = :TYPOBIEKTU\n"
    "  AND B.IDOBIEKTU = :IDOBIEKTU\n"
    "  AND CURRENT_TIMESTAMP - S.AKTYWNA < 0.0025";
// The columns of a table that a record can carry: computed columns and arrays never travel.
constexpr std::string_view kTableColumns =
    "SELECT RF.RDB$FIELD_NAME FROM RDB$RELATION_FIELDS RF\n"
    "JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE\n"
    "WHERE RF.RDB$RELATION_NAME = :TABELA\n"
    "AND F.RDB$COMPUTED_BLR IS NULL AND F.RDB$DIMENSIONS IS NULL\n"
    "ORDER BY RF.RDB$FIELD_POSITION";

constexpr std::int32_t kNoAction = -1;
constexpr std::int32_t kExtraColumnsTable = 24;  // POLADODATKOWE
constexpr std::int32_t kRequestTable = 70;       // REPDIALOG
constexpr std::int32_t kAttachmentRequest = 4;
constexpr int kCommitEvery = 1000;
constexpr std::size_t kStatementCacheSize = 64;
constexpr std::size_t kFragmentLength = 100;

std::string Number(std::int64_t value) { return std::to_string(value); }

// Another transaction committed a change of the record after the import looked for the sender's
// entries and before it changed the record: what the import decided on that look is stale.
class RivalChangeCommitted : public std::runtime_error {
 public:
  RivalChangeCommitted()
      : std::runtime_error(
            std::string("rekord zmieniony w międzyczasie przez inną transakcję"_cp)) {}
};

bool HeldByAnotherTransaction(const std::exception& e) {
  if (dynamic_cast<const RivalChangeCommitted*>(&e) != nullptr) return true;
  const auto* error = dynamic_cast<const fb::Error*>(&e);
  return error != nullptr && error->IsConflictWithAnotherTransaction();
}

// Doubles with each attempt up to 0.8 s, with up to as much again at random, so that two imports
// that hold records the other needs do not keep meeting.
std::chrono::milliseconds ConflictPause(int attempt, std::minstd_rand& random) {
  const int base = std::min(25 << std::min(attempt, 5), 800);
  return std::chrono::milliseconds(base + std::uniform_int_distribution<int>(0, base - 1)(random));
}

int Percent(std::size_t part, std::size_t whole) {
  if (whole == 0) return 0;
  return static_cast<int>(
      std::lround(static_cast<double>(part) * 100.0 / static_cast<double>(whole)));
}

// The start of the payload that is left, for an error text.
std::string Fragment(int slot, std::string_view rest, int number) {
  return Concat(
      {"Wystąpił błąd ("_cp, Number(number), ") w czasie importu rekordu (KI="_cp, Number(slot),
       "). Fragment oryginalnych danych (LEN=", Number(static_cast<std::int64_t>(rest.size())),
       ") : \"", rest.substr(0, kFragmentLength), "\""});
}

}  // namespace

// Where an import returns when another transaction made it roll back: the first record after
// its last commit, with the counts as they stood there.
struct TChangeImport::Checkpoint {
  std::string_view rest;
  std::size_t consumed = 0;
  int guard = kImportLoopGuard;
  std::int32_t record_count = 0;
};

// The deletion of the sender's entries that a change still owes: without a full log it is made
// by the next record's look, or on its own before a commit, before work that may commit, and
// after the call's last record.
struct TChangeImport::OwedDelete {
  std::int32_t record_id = 0;
  std::int32_t table_number = 0;
  bool pending = false;  // what the look before the change found
};

// The state of one call.
struct TChangeImport::Run {
  int slot = -1;
  std::int32_t sender = 0;
  std::string prefix;  // the slot and a blank, in front of every new log line
  bool full_log = false;
  std::size_t length = 0;    // of the payload at the start
  std::size_t consumed = 0;  // characters of the records parsed so far
  int guard = kImportLoopGuard;
  std::int32_t conflicts = 0;
  std::int32_t record_count = 0;  // records applied (the count output)
  TRekord record;
  const TTableInfo* table = nullptr;
  bool pending = false;         // the sender's entries of the record, when the import looked
  bool write_conflict = false;  // a local change of the record is still pending for the sender
  bool last = false;            // the record is the last of the payload
  std::optional<OwedDelete> owed;
  Checkpoint at_record;  // before the record being applied
  Checkpoint committed;  // before the first record not yet committed
  // The conflict journal commits on its own: a record applied again is not journalled again.
  std::size_t journaled_until = 0;
  int attempts = 0;  // replays since the checkpoint last moved on
  std::chrono::milliseconds waited{0};
  std::minstd_rand random{std::random_device{}()};
};

namespace {

TChangeImport::OwedDelete OwedBy(const TRekord& record, bool pending) {
  return {record.record_id, record.table_number, pending};
}

// Entries that other transactions committed and the look before the change did not see mean
// that the look was stale: the import rolls back and looks again, so that the rule on pending
// changes decides on what is there, as in a run one after another.
void CheckLookWasCurrent(const TChangeImport::OwedDelete& owed, bool committed_by_others) {
  if (committed_by_others && !owed.pending) throw RivalChangeCommitted();
}

// The look's fourth and fifth parameters: the record whose deletion it makes first, if any.
void BindOwed(fb::Statement& look, const std::optional<TChangeImport::OwedDelete>& owed) {
  if (owed) {
    look.ParamAt(3).SetInt(owed->record_id);
    look.ParamAt(4).SetInt(owed->table_number);
  } else {
    look.ParamAt(3).SetNull();
    look.ParamAt(4).SetNull();
  }
}

}  // namespace

TChangeImport::TChangeImport(TDMDB& db, HostServices& host, SlotBook& slot_book,
                             TConflictJournal& conflicts, TSchemaAdaptation& schema,
                             TDatabaseEvents& events, std::chrono::milliseconds conflict_patience)
    : db_(db),
      host_(host),
      slots_(slot_book),
      conflicts_(conflicts),
      schema_(schema),
      events_(events),
      conflict_patience_(conflict_patience),
      IBQ_REPZMIANY_Select2(db.IBTSetData(), kPendingEntries),
      IBQ_REPZMIANY_Delete(db.IBTSetData(), DeleteEntriesBlock()),
      IBQ_BLOKADY_Select(db.IBTSetData(), kLiveLock),
      IBQ_COLUMNS(db.IBTSetData(), kTableColumns),
      statements_(db.IBTSetData(), kStatementCacheSize) {}

TChangeImport::~TChangeImport() = default;

ImportResult TChangeImport::ImportChanges(std::string_view& payload, std::int32_t sender_copy,
                                          int slot) {
  if (!db_.ConnectDatabase()) {
    slots_.SetProgress(slot, 0);  // every call ends with the display cleared
    return {};
  }
  slots_.SetProgress(slot, 0);
  Run run;
  run.slot = slot;
  run.sender = sender_copy;
  run.prefix = Number(slot) + " ";
  run.full_log = host_.FullLog();
  run.length = payload.size();
  columns_.clear();  // the tables' columns may have changed since the last call
  Trace(run, run.prefix + "TOIMP=" + Number(static_cast<std::int64_t>(run.length)) + "b");
  const ImportOutcome outcome = ImportRecords(payload, run);
  slots_.SetProgress(slot, 0);
  return {outcome, run.record_count, run.conflicts};
}

ImportOutcome TChangeImport::ImportRecords(std::string_view& payload, Run& run) {
  while (!payload.empty()) {
    run.at_record = {payload, run.consumed, run.guard, run.record_count};
    if (!db_.IBTSetData().Active()) MarkCommitted(run);
    --run.guard;
    if (!ParseNext(payload, run) || !KnownTable(run)) return ImportOutcome::kFailed;
    run.last = payload.empty();
    switch (ApplyRecord(run)) {
      case RecordResult::kApplied:
        break;
      case RecordResult::kReplay:
        payload = ReturnToCheckpoint(run);
        continue;
      case RecordResult::kLocked:
        return ImportOutcome::kLocked;
      case RecordResult::kFailed:
        return ImportOutcome::kFailed;
    }
    slots_.SetProgress(run.slot, Percent(run.consumed, run.length));
    if (host_.Closing() || run.guard <= 0) break;
  }
  return Finish(payload, run);
}

// A record that does not parse ends the call; what this call applied since its last commit is
// rolled back, so nothing half-applied waits in the open transaction for a later call.
bool TChangeImport::ParseNext(std::string_view& payload, Run& run) {
  const std::string_view start = payload;
  try {
    ParseRecord(payload, run.record);
  } catch (const std::exception& e) {
    RollbackQuietly(run);
    Trace(run, Concat({run.prefix, "ROLLB1 ", e.what()}));
    const std::string text = Concat({Fragment(run.slot, start, 1), "\r\n", e.what()});
    slots_.SetErrorText(run.slot, text);
    host_.Log(text, kLogError);
    return false;
  }
  run.consumed += start.size() - payload.size();
  const TRekord& record = run.record;
  if (run.full_log) {
    Trace(run, Concat({run.prefix, "IT=", Number(record.table_number),
                       " IR=", Number(record.record_id), " TZ=", Number(record.change_type),
                       " IL=", Number(static_cast<std::int64_t>(record.fields.size()))}));
  }
  return true;
}

bool TChangeImport::KnownTable(Run& run) {
  run.table = TableInfo(run.record.table_number);
  if (run.table != nullptr && run.table->IsUsable()) return true;
  run.table = nullptr;
  const std::string text = "Nieznana tabela: " + Number(run.record.table_number);
  host_.Log(text, kLogError);
  Trace(run, Concat({run.prefix, "UNKTAB ", text}));
  slots_.SetErrorText(run.slot, text);
  RollbackQuietly(run);
  return false;
}

TChangeImport::RecordResult TChangeImport::ApplyRecord(Run& run) {
  try {
    ApplyChecked(run);
    return RecordResult::kApplied;
  } catch (const TRepBlokadaException& e) {
    RollbackQuietly(run);
    Trace(run, Concat({run.prefix, "ROLLB4 ", e.what()}));
    return Fail(run, 4, e.what());
  } catch (const std::exception& e) {
    RollbackQuietly(run);
    if (WaitForOtherTransaction(run, e)) return RecordResult::kReplay;
    // The prepared statements keep the table's structure and checks as they were when they were
    // prepared; once someone fixes the table, the next attempt must see the fix.
    statements_.Clear();
    Trace(run, Concat({run.prefix, "ROLLB1 ", e.what()}));
    return Fail(run, 1, e.what());
  }
}

// One record: conflict probe and existence check (one statement) with its conversions, lock check,
// the change and the removal of the entries it caused for the sender; then the extra work of some
// tables.
void TChangeImport::ApplyChecked(Run& run) {
  CheckColumnNames(run.record);
  CheckDayCounts(run.record);
  CommitBeforeEachRecord(run);
  CheckFitsTable(run);
  const std::optional<RecordState> state = ReadRecordState(run);
  ProbeConflict(run, state ? state->pending : HasPendingEntries(run));
  bool applied = false;
  if (run.record.change_type != kNoAction) {
    CheckExistence(run, state ? state->exists : RecordExists(run));
    if (run.record.change_type == kChangeUpdate && run.table->lock_object_type != -1) {
      CheckLock(run);
    }
    applied = ExecuteChange(run);
  }
  if (applied) {
    if (run.record.table_number == kExtraColumnsTable) AdaptSchema(run);
    events_.QueueEvent(run.table->event_name);
    ++run.record_count;
  }
  if (run.last) PayOwedDelete(run);  // here a stale look still means applying again
  CommitInRhythm(run);
}

// Another import or a user of the host application holds a record this import must change, and
// everything since the last commit has been rolled back: after a pause that grows with each
// attempt the import applies it again, until its patience runs out or the program closes.
bool TChangeImport::WaitForOtherTransaction(Run& run, const std::exception& e) {
  if (!HeldByAnotherTransaction(e)) return false;
  const std::chrono::milliseconds pause = ConflictPause(run.attempts++, run.random);
  if (run.waited + pause > conflict_patience_) return false;
  run.waited += pause;
  Trace(run, Concat({run.prefix, "WAIT ", Number(pause.count()), "ms ", e.what()}));
  constexpr std::chrono::milliseconds kSlice{50};
  for (auto left = pause; left.count() > 0; left -= kSlice) {
    if (host_.Closing()) return false;
    std::this_thread::sleep_for(std::min(left, kSlice));
  }
  return !host_.Closing();
}

void TChangeImport::MarkCommitted(Run& run) {
  if (run.at_record.rest.size() != run.committed.rest.size()) {
    run.attempts = 0;
    run.waited = std::chrono::milliseconds(0);
  }
  run.committed = run.at_record;
}

std::string_view TChangeImport::ReturnToCheckpoint(Run& run) {
  run.consumed = run.committed.consumed;
  run.guard = run.committed.guard;
  run.record_count = run.committed.record_count;
  return run.committed.rest;
}

void TChangeImport::CommitBeforeEachRecord(Run& run) {
  fb::Transaction& transaction = db_.IBTSetData();
  if (run.table->commit_each) PayOwedDelete(run);
  if (run.table->commit_each && transaction.CommitIfActive()) {
    Trace(run, run.prefix + "COMMIT0");
    MarkCommitted(run);
  }
  transaction.StartIfInactive();
}

// A record carries at most every column of its table: a longer one is refused before any
// statement is built for it, however many fields it has.
void TChangeImport::CheckFitsTable(const Run& run) {
  const auto columns = static_cast<std::int64_t>(TableColumns(run.table->name).size());
  const auto fields = static_cast<std::int64_t>(run.record.fields.size());
  if (fields <= columns) return;
  throw std::runtime_error(
      Concat({"Rekord ma więcej kolumn ("_cp, Number(fields), ") niż tabela "_cp, run.table->name,
              " (", Number(columns), ")"}));
}

// Nothing when the statement fails, as it does for a table this database lacks: the owed
// deletion is then made on its own, and the two separate statements decide, and fail, exactly
// where they always did (a change the main database drops needs no look into its table).
std::optional<TChangeImport::RecordState> TChangeImport::ReadRecordState(Run& run) {
  try {
    fb::Statement& query = statements_.Get(RecordStateQuery(*run.table));
    query.ParamAt(0).SetInt(run.sender);
    query.ParamAt(1).SetInt(run.record.record_id);
    query.ParamAt(2).SetInt(run.record.table_number);
    BindOwed(query, run.owed);
    fb::ResultSet rows = query.Open();
    if (!rows.Next()) return std::nullopt;
    const RecordState state{rows.GetInt(0) != 0, rows.GetInt(1) != 0};
    const bool committed_by_others = rows.GetInt(3) > 0;
    rows.Close();
    if (run.owed) CheckLookWasCurrent(*run.owed, committed_by_others);
    run.owed.reset();
    return state;
  } catch (const fb::Error&) {
    PayOwedDelete(run);
    return std::nullopt;
  }
}

bool TChangeImport::HasPendingEntries(const Run& run) {
  IBQ_REPZMIANY_Select2.ParamAt(0).SetInt(run.sender);
  IBQ_REPZMIANY_Select2.ParamAt(1).SetInt(run.record.record_id);
  IBQ_REPZMIANY_Select2.ParamAt(2).SetInt(run.record.table_number);
  fb::ResultSet rows = IBQ_REPZMIANY_Select2.Open();
  const bool found = rows.Next();
  rows.Close();
  return found;
}

bool TChangeImport::RecordExists(const Run& run) {
  fb::Statement& query = statements_.Get(ExistenceQuery(*run.table));
  query.ParamAt(0).SetInt(run.record.record_id);
  fb::ResultSet rows = query.Open();
  const bool exists = rows.Next();
  rows.Close();
  return exists;
}

// A local change of the record not yet sent: the main database keeps its own version (which
// reaches the sender later); a copy takes the main database's and records what it loses.
void TChangeImport::ProbeConflict(Run& run, bool pending) {
  run.pending = pending;
  run.write_conflict = false;
  if (!pending) return;
  if (host_.ServerMode()) {
    run.record.change_type = kNoAction;
    Trace(run, " KONFL: ->N", true);
  } else {
    Trace(run, " KONFL: cont", true);
    run.write_conflict = run.table->log_conflicts;
  }
}

void TChangeImport::CheckExistence(Run& run, bool exists) {
  std::int32_t& change = run.record.change_type;
  if (!exists) {
    Trace(run, run.prefix + "NOREC");
    if (change == kChangeUpdate) {
      change = kChangeInsert;
      Trace(run, " U->I", true);
    } else if (change == kChangeDelete) {
      change = kNoAction;
      Trace(run, " D->N", true);
    }
    return;
  }
  Trace(run, run.prefix + "REC");
  if (change == kChangeInsert) {
    change = kChangeUpdate;
    Trace(run, " I->U", true);
  }
  if (change == kChangeUpdate && run.write_conflict && run.consumed > run.journaled_until) {
    WriteConflictOf(run);
    run.journaled_until = run.consumed;
  }
}

void TChangeImport::WriteConflictOf(Run& run) {
  const std::string text = db_.RecordReader().PrzygotujRekord(
      run.record.record_id, run.record.table_number, true, kChangeInsert, NullColumns::kWritten);
  if (text.empty()) return;
  std::string_view rest = text;
  TRekord local;
  ParseRecord(rest, local);
  run.conflicts += conflicts_.DetectConflict(local, run.record);
}

// Only a lock taken in this database counts: locks arrive from other databases by replication.
void TChangeImport::CheckLock(const Run& run) {
  const TTableInfo& table = *run.table;
  const std::int32_t object = table.lock_id_column.empty()
                                  ? run.record.record_id
                                  : GetIntField(run.record, table.lock_id_column);
  IBQ_BLOKADY_Select.ParamAt(0).SetInt(table.lock_object_type);
  IBQ_BLOKADY_Select.ParamAt(1).SetInt(object);
  fb::ResultSet rows = IBQ_BLOKADY_Select.Open();
  const bool locked = rows.Next() && DatabaseNumberOfId(rows.GetInt(0)) == host_.LocalCopyNumber();
  rows.Close();
  if (locked) {
    throw TRepBlokadaException(Concat(
        {"Rekord o ID=", Number(run.record.record_id), " z tabeli \"", table.name,
         "\" jest w trakcie edycji. Replikacja będzie wstrzymana do czasu zdjęcia blokady"_cp}));
  }
}

// False when the record asks for no statement.
bool TChangeImport::ExecuteChange(Run& run) {
  const std::string sql = ChangeStatement(run.record, *run.table);
  if (sql.empty()) return false;
  fb::Statement& change = statements_.Get(sql);
  if (run.table->commit_each) {
    ExecuteSafely(run, change);
  } else {
    ExecuteAndDelete(run, change);
  }
  return true;
}

// A table that commits each record tolerates a failing statement; its entries then stay.
void TChangeImport::ExecuteSafely(Run& run, fb::Statement& change) {
  Trace(run, " SQL SAFE", true);
  try {
    BindChange(change, run.record, *run.table);
    change.Execute();
    TraceRowsChanged(run, change);
    Trace(run, " RA2=" + Number(DeleteSenderEntries(run, OwedBy(run.record, run.pending))), true);
  } catch (const std::exception& e) {
    if (HeldByAnotherTransaction(e)) throw;  // waited for like in any other table
    Trace(run, Concat({" EXCPT: ", e.what()}), true);
  }
}

void TChangeImport::ExecuteAndDelete(Run& run, fb::Statement& change) {
  if (IsAttachmentRequest(run)) RunAttachmentRequest(run);
  Trace(run, " SQL", true);
  BindChange(change, run.record, *run.table);
  change.Execute();
  TraceRowsChanged(run, change);
  if (KeepsEntriesForReply(run)) {
    Trace(run, " RA2=0 (REPDIALOG)", true);
  } else if (run.full_log) {
    Trace(run, " RA2=" + Number(DeleteSenderEntries(run, OwedBy(run.record, run.pending))), true);
  } else {
    // Paid by the next statement that must see it: one statement less per record.
    run.owed = OwedBy(run.record, run.pending);
  }
}

// Counting the rows is one more call into the database: only a full log asks.
void TChangeImport::TraceRowsChanged(const Run& run, fb::Statement& change) {
  if (run.full_log) Trace(run, " RA1=" + Number(change.RowsAffected()), true);
}

// A new request addressed to this database: its entries stay so that it travels back with the
// answer.
bool TChangeImport::KeepsEntriesForReply(const Run& run) const {
  const TRekord& record = run.record;
  return record.table_number == kRequestTable && record.change_type == kChangeInsert &&
         GetIntField(record, "IDREPKOPIEADRESAT") == host_.LocalCopyNumber() &&
         GetIntField(record, "STATUS") == 0;
}

bool TChangeImport::IsAttachmentRequest(const Run& run) const {
  return KeepsEntriesForReply(run) && GetIntField(run.record, "TYP") == kAttachmentRequest;
}

void TChangeImport::RunAttachmentRequest(Run& run) {
  PayOwedDelete(run);
  std::int32_t result = 0;
  std::string message;
  schema_.ImportAttachment(GetIntField(run.record, "INPARAM1"), result, message);
  SetIntField(run.record, "OUTPARAM1", result);
  SetStringField(run.record, "OUTPARAM2", std::move(message));
}

// The record is held by this import now, so whoever changed it before has committed, and the
// entries that change made for the sender are visible here.
std::int64_t TChangeImport::DeleteSenderEntries(const Run& run, const OwedDelete& owed) {
  IBQ_REPZMIANY_Delete.ParamAt(0).SetInt(run.sender);
  IBQ_REPZMIANY_Delete.ParamAt(1).SetInt(owed.record_id);
  IBQ_REPZMIANY_Delete.ParamAt(2).SetInt(owed.table_number);
  fb::ResultSet rows = IBQ_REPZMIANY_Delete.Open();
  rows.Next();
  const std::int64_t deleted = rows.GetInt(0);
  const bool committed_by_others = rows.GetInt(1) > 0;
  rows.Close();
  CheckLookWasCurrent(owed, committed_by_others);
  return deleted;
}

void TChangeImport::PayOwedDelete(Run& run) {
  if (!run.owed) return;
  const OwedDelete owed = *run.owed;
  run.owed.reset();
  DeleteSenderEntries(run, owed);
}

// The structure of a table is about to change: no statement prepared on it may stay.
void TChangeImport::AdaptSchema(Run& run) {
  PayOwedDelete(run);
  statements_.Clear();
  columns_.clear();
  schema_.AdaptExtraColumn(run.record, run.record.change_type, run.prefix);
}

// After every record while the records applied so far are a multiple of 1,000 (0 included), so
// a skipped record (a dropped change, a delete of a missing record) commits at such a count too;
// and after every record of a table that commits each record.
void TChangeImport::CommitInRhythm(Run& run) {
  const bool due = run.record_count % kCommitEvery == 0 || run.table->commit_each;
  if (!due) return;
  PayOwedDelete(run);
  if (db_.IBTSetData().CommitIfActive()) Trace(run, run.prefix + "COMMIT1");
}

ImportOutcome TChangeImport::Finish(std::string_view payload, Run& run) {
  try {
    PayOwedDelete(run);
    if (db_.IBTSetData().CommitIfActive()) Trace(run, run.prefix + "COMMIT2");
  } catch (const std::exception& e) {
    RollbackQuietly(run);
    Trace(run, Concat({run.prefix, "ROLLB2 ", e.what()}));
    const std::string text = ErrorText(2, run, e.what());
    slots_.SetErrorText(run.slot, text);
    host_.Log(text, kLogError);
    return ImportOutcome::kFailed;
  }
  if (run.guard <= 0) {
    const std::string text = Fragment(run.slot, payload, 3);
    slots_.SetErrorText(run.slot, text);
    host_.Log(text, kLogError);
    return ImportOutcome::kFailed;
  }
  Trace(run, Concat({run.prefix, "DONE=", Number(run.record_count),
                     " EVNCNT=", Number(static_cast<std::int64_t>(events_.QueuedCount()))}));
  if (run.conflicts > 0) events_.QueueEvent("WIADOMOSCHEAD");
  events_.FireQueuedEvents(true);
  return ImportOutcome::kDone;
}

const std::vector<std::string>& TChangeImport::TableColumns(std::string_view table) {
  const std::string name(table);
  const auto found = columns_.find(name);
  if (found != columns_.end()) return found->second;
  std::vector<std::string> columns;
  IBQ_COLUMNS.ParamAt(0).SetString(name);
  fb::ResultSet rows = IBQ_COLUMNS.Open();
  while (rows.Next()) columns.emplace_back(Trim(rows.GetString(0)));
  rows.Close();
  return columns_.emplace(name, std::move(columns)).first->second;
}

std::string TChangeImport::ErrorText(int number, const Run& run, std::string_view message) const {
  const std::string_view key = run.table != nullptr ? run.table->key_column : "ID";
  const std::string_view table = run.table != nullptr ? run.table->name : "";
  return Concat({"Wystąpił błąd ("_cp, Number(number), ") w czasie importu rekordu ("_cp, key, "=",
                 Number(run.record.record_id), ") do tabeli ", table, "\r\n", message});
}

// Error (4) stops at a record a user is editing (logged as progress); any other is an error.
TChangeImport::RecordResult TChangeImport::Fail(Run& run, int number, std::string_view message) {
  const std::string text = ErrorText(number, run, message);
  slots_.SetErrorText(run.slot, text);
  const bool locked = number == 4;
  host_.Log(text, locked ? kLogProgress : kLogError);
  return locked ? RecordResult::kLocked : RecordResult::kFailed;
}

void TChangeImport::RollbackQuietly(Run& run) {
  run.owed.reset();
  try {
    db_.IBTSetData().RollbackIfActive();
  } catch (...) {
    // the connection has gone and the transaction with it
  }
}

// The per-record log lines are written only with full logging.
void TChangeImport::Trace(const Run& run, std::string_view text, bool continue_line) {
  if (run.full_log) host_.Log(text, kLogRecord, continue_line);
}

}  // namespace tramolin
