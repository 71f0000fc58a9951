#include "engine/change_export.h"

#include <algorithm>
#include <exception>
#include <unordered_map>

#include "engine/dmdb.h"
#include "engine/key_set.h"
#include "engine/record_reader.h"
#include "engine/record_text.h"
#include "engine/table_catalogue.h"
#include "engine/transaction_scope.h"
#include "util/change_payload_header.h"
#include "util/cp1250.h"
#include "util/log_level.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

constexpr std::string_view kSelectAll =
    "SELECT IDREKORDU, IDTABELI, MAX(TYPZMIANY) TYPZMIANY\n"
    "FROM REPZMIANY\n"
    "WHERE IDREPKOPIE=:IDREPKOPIE AND IDTRANSAKCJI<>:INFLIGHT\n"
    "GROUP BY PRIORYTET, IDREKORDU, IDTABELI\n"
    "ORDER BY PRIORYTET DESC , MIN(ID)";
constexpr std::string_view kSelectNew =
    "SELECT IDREKORDU, IDTABELI, MAX(TYPZMIANY) TYPZMIANY\n"
    "FROM REPZMIANY\n"
    "WHERE IDREPKOPIE = :IDREPKOPIE AND IDTRANSAKCJI<>:INFLIGHT\n"
    "GROUP BY PRIORYTET, IDREKORDU, IDTABELI\n"
    "HAVING MIN(TYPZMIANY) = 0\n"
    "ORDER BY PRIORYTET DESC , MIN(ID)";
constexpr std::string_view kClearStaleMarks =
    "UPDATE REPZMIANY SET\n"
    "IDTRANSAKCJI=0\n"
    "WHERE IDREPKOPIE=:IDREPKOPIE\n"
    "AND IDTRANSAKCJI=CURRENT_TRANSACTION";
constexpr std::string_view kCurrentTransaction = "SELECT CURRENT_TRANSACTION FROM RDB$DATABASE";
constexpr std::string_view kMarkRecord =
    "UPDATE REPZMIANY\n"
    "SET IDTRANSAKCJI = CURRENT_TRANSACTION\n"
    "WHERE IDREPKOPIE=:IDREPKOPIE AND IDTRANSAKCJI<>:INFLIGHT\n"
    "AND IDREKORDU=:IDREKORDU AND IDTABELI=:IDTABELI";
constexpr std::string_view kMarkAll =
    "UPDATE REPZMIANY\n"
    "SET IDTRANSAKCJI = CURRENT_TRANSACTION\n"
    "WHERE IDREPKOPIE=:IDREPKOPIE AND IDTRANSAKCJI<>:INFLIGHT";
constexpr std::string_view kCount =
    "SELECT \n"
    "  COUNT(ID) WSZYSTKIE,\n"
    "  SUM(CASE WHEN TYPZMIANY = 0 THEN 1 ELSE 0 END) NOWE\n"
    "FROM REPZMIANY \n"
    "WHERE IDREPKOPIE = :IDREPKOPIE";

constexpr std::string_view kCountBacklogs =
    "SELECT K.ID, K.OPIS,\n"
    "  (SELECT COUNT(*) FROM REPZMIANY Z WHERE Z.IDREPKOPIE = K.ID)\n"
    "FROM REPKOPIE K\n"
    "ORDER BY K.ID";

std::string Number(std::int64_t value) { return std::to_string(value); }

// The share of the payload limit the payload has reached, 0-100.
int PayloadProgress(std::size_t length) {
  const auto percent = (length * 100 + kPayloadLimit / 2) / kPayloadLimit;
  return static_cast<int>(std::min<std::size_t>(percent, 100));
}

constexpr std::string_view kMarkSetHead =
    "UPDATE REPZMIANY\n"
    "SET IDTRANSAKCJI = CURRENT_TRANSACTION\n"
    "WHERE ";

JournalRow ReadJournalRow(const fb::ResultSet& rows) {
  return {static_cast<std::int32_t>(rows.GetInt(0)), static_cast<std::int32_t>(rows.GetInt(1)),
          static_cast<std::int32_t>(rows.GetInt(2))};
}

// The pending records in export order, taken from the walk only as far ahead as a set of records
// needs.
class JournalRows {
 public:
  explicit JournalRows(TJournalWalk& walk) : walk_(walk) {}

  // False past the last row.
  bool Has(std::size_t index) {
    JournalRow row;
    while (index >= fetched_.size() && !ended_) {
      if (walk_.Next(row)) {
        fetched_.push_back(row);
      } else {
        ended_ = true;
      }
    }
    return index < fetched_.size();
  }
  JournalRow At(std::size_t index) const { return fetched_[index]; }

 private:
  TJournalWalk& walk_;
  std::vector<JournalRow> fetched_;
  bool ended_ = false;
};

// The record texts of the selected rows, read a run of consecutive rows of one table at a time.
// Whatever the set reading cannot give exactly (a failure, a text that cannot be written) is
// left to the one-record reader, which reports it with its details.
class RecordRuns {
 public:
  RecordRuns(TRecordReader& reader, NullColumns nulls)
      : reader_(reader), sets_(reader), nulls_(nulls) {}

  std::string Text(JournalRows& journal, std::size_t index) {
    const JournalRow row = journal.At(index);
    const TTableInfo* table = TableInfo(row.table_number);
    if (row.change_type == kChangeDelete || table == nullptr || !table->IsUsable()) {
      return ReadAlone(row);
    }
    if (index >= run_end_) ReadRun(journal, index, *table);
    if (run_failed_) return ReadAlone(row);
    const auto found = records_.find(row.record_id);
    if (found == records_.end()) return {};
    found->second.change_type = row.change_type;
    std::string text;
    try {
      AppendRecordText(found->second, text, nulls_);
    } catch (const std::exception&) {
      return ReadAlone(row);
    }
    return text;
  }

 private:
  std::string ReadAlone(const JournalRow& row) {
    return reader_.PrzygotujRekord(row.record_id, row.table_number, false, row.change_type, nulls_);
  }

  void ReadRun(JournalRows& journal, std::size_t index, const TTableInfo& table) {
    const std::int32_t table_number = journal.At(index).table_number;
    std::vector<std::int32_t> ids;
    for (run_end_ = index; ids.size() < TRecordSetReader::kMaxKeys && journal.Has(run_end_) &&
                           journal.At(run_end_).table_number == table_number;
         ++run_end_) {
      const JournalRow row = journal.At(run_end_);
      if (row.change_type != kChangeDelete) ids.push_back(row.record_id);
    }
    try {
      records_ = sets_.Read(table_number, table, ids);
      run_failed_ = false;
    } catch (const std::exception&) {
      records_.clear();
      run_failed_ = true;
    }
  }

  TRecordReader& reader_;
  TRecordSetReader sets_;
  NullColumns nulls_;
  std::size_t run_end_ = 0;  // the rows before it have been read
  bool run_failed_ = false;
  std::unordered_map<std::int32_t, TRekord> records_;
};

}  // namespace

TChangeExport::TChangeExport(TDMDB& db, HostServices& host, SlotBook& slot_book,
                             ExportMethod method)
    : db_(db),
      host_(host),
      method_(method),
      slots_(slot_book),
      reader_(db.RecordReader()),
      IBQ_REPZMIANY_Select(db.IBTGetData(), kSelectAll),
      IBQ_REPZMIANY_NEW_Select(db.IBTGetData(), kSelectNew),
      IBQ_REPZMIANY_Update1(db.IBTGetData(), kClearStaleMarks),
      IBQ_REPZMIANY_Update2(db.IBTGetData(), kMarkRecord),
      mark_all_(db.IBTGetData(), kMarkAll),
      mark_set_(PickableEntriesOfRecords(db.IBTGetData(), kMarkSetHead)),
      walk_(db.IBTGetData()),
      IBQ_CURRENT_TRANSACTION(db.IBTGetData(), kCurrentTransaction),
      IBQ_REPZMIANY_Count(db.IBT_REPZMIANY_Count(), kCount),
      count_backlogs_(db.IBT_REPZMIANY_Count(), kCountBacklogs) {}

ChangeCounts TChangeExport::CountChanges(std::int32_t copy_number) {
  ChangeCounts counts;
  try {
    TransactionScope work(db_.IBT_REPZMIANY_Count());
    IBQ_REPZMIANY_Count.ParamByName("IDREPKOPIE").SetInt(copy_number);
    fb::ResultSet row = IBQ_REPZMIANY_Count.Open();
    if (row.Next()) {
      counts.all = static_cast<std::int32_t>(row.GetInt(0));
      counts.new_count = static_cast<std::int32_t>(row.GetInt(1));  // NULL reads as 0
    }
    LogRecord(Concat(
        {Number(copy_number), " ILZM=", Number(counts.all), " ILNZM=", Number(counts.new_count)}));
    row.Close();
    work.Commit();
  } catch (const std::exception&) {
    return {};
  }
  return counts;
}

std::optional<std::vector<CopyBacklog>> TChangeExport::CountBacklogs() {
  if (!db_.ConnectDatabase()) return std::nullopt;
  std::vector<CopyBacklog> copies;
  try {
    TransactionScope work(db_.IBT_REPZMIANY_Count());
    fb::ResultSet rows = count_backlogs_.Open();
    while (rows.Next()) {
      copies.push_back(
          {static_cast<std::int32_t>(rows.GetInt(0)), rows.GetString(1), rows.GetInt(2)});
    }
    rows.Close();
    work.Commit();
  } catch (const std::exception&) {
    return std::nullopt;
  }
  return copies;
}

bool TChangeExport::PrepareChanges(std::int32_t copy_number, bool new_only, int slot,
                                   PreparedChanges& out, NullColumns nulls,
                                   const ExportCycle& cycle) {
  out.payload.clear();
  out.total = 0;
  out.count = 0;
  out.marked = 0;
  out.cut = false;
  if (!db_.ConnectDatabase()) {
    return false;
  }
  slots_.SetProgress(slot, 0);
  try {
    TransactionScope work(db_.IBTGetData());
    ClearStaleMarks(copy_number, slot);
    out.transaction_number = ReadTransactionNumber();
    LogRecord(" TRNID=" + Number(out.transaction_number), true);
    out.total = PendingEntries(copy_number, cycle);
    BindInFlight(cycle.in_flight);
    if (method_ == ExportMethod::kPerRecord) {
      ExportRecords(new_only ? IBQ_REPZMIANY_NEW_Select : IBQ_REPZMIANY_Select, copy_number, slot,
                    nulls, out);
    } else {
      ExportInSets(copy_number, new_only, slot, nulls, cycle.in_flight, out);
    }
    work.Commit();
    out.total = std::max(out.total, out.count);
    PrependChangePayloadHeader(out.payload, {out.count, out.total});
  } catch (const std::exception& e) {
    ReportFailure(copy_number, slot, e.what());
    out.payload.clear();
    return false;
  }
  LogRecord(Concat({Number(slot), " PREP CNT=", Number(out.count), "/", Number(out.total)}));
  return true;
}

// The cycle's count when it has one; else counted now, which the cycle then keeps.
std::int32_t TChangeExport::PendingEntries(std::int32_t copy_number, const ExportCycle& cycle) {
  if (cycle.pending) {
    LogRecord(" CNT=" + Number(*cycle.pending), true);
    return *cycle.pending;
  }
  const ChangeCounts counts = CountChanges(copy_number);
  LogRecord(Concat({" CNT=", Number(counts.all), " CNTN=", Number(counts.new_count)}), true);
  return counts.all;
}

void TChangeExport::BindInFlight(std::int32_t in_flight) {
  for (fb::Statement* statement :
       {&IBQ_REPZMIANY_Select, &IBQ_REPZMIANY_NEW_Select, &IBQ_REPZMIANY_Update2, &mark_all_}) {
    statement->ParamByName("INFLIGHT").SetInt(in_flight);
  }
}

// An entry may still carry the current transaction's number from an earlier life of that number
// (numbers start again after a restore); the confirmation of this export would delete it unsent.
void TChangeExport::ClearStaleMarks(std::int32_t copy_number, int slot) {
  IBQ_REPZMIANY_Update1.ParamByName("IDREPKOPIE").SetInt(copy_number);
  IBQ_REPZMIANY_Update1.Execute();
  LogRecord(Concat({Number(slot), " PREP RA1=", Number(IBQ_REPZMIANY_Update1.RowsAffected()),
                    " IDREPKOPIE=", Number(copy_number)}));
}

std::int32_t TChangeExport::ReadTransactionNumber() {
  fb::ResultSet row = IBQ_CURRENT_TRANSACTION.Open();
  row.Next();
  return static_cast<std::int32_t>(row.GetInt(0));
}

// Writes the selected records one after another until the payload passes the limit or the
// program closes; every processed record's entries are marked, whether or not it still exists.
void TChangeExport::ExportRecords(fb::Statement& select, std::int32_t copy_number, int slot,
                                  NullColumns nulls, PreparedChanges& out) {
  select.ParamByName("IDREPKOPIE").SetInt(copy_number);
  fb::ResultSet rows = select.Open();
  try {
    while (rows.Next()) {
      const JournalRow row = ReadJournalRow(rows);
      AppendRecord(
          slot, row.record_id, row.table_number, row.change_type,
          reader_.PrzygotujRekord(row.record_id, row.table_number, false, row.change_type, nulls),
          out);
      out.marked += MarkExported(copy_number, row.record_id, row.table_number);
      if (EndOfBatch(slot, out)) {
        break;
      }
    }
  } catch (...) {
    slots_.SetProgress(slot, 0);
    throw;
  }
  slots_.SetProgress(slot, 0);
  rows.Close();
}

// The same records and marks as ExportRecords. Unless every entry is marked at once, the sent
// records' entries are marked after the loop, still in the export transaction.
void TChangeExport::ExportInSets(std::int32_t copy_number, bool new_only, int slot,
                                 NullColumns nulls, std::int32_t in_flight, PreparedChanges& out) {
  walk_.Start(copy_number, new_only, in_flight);
  JournalRows journal(walk_);
  RecordRuns records(reader_, nulls);
  const bool mark_each = host_.FullLog();
  RecordsByTable sent;
  bool everything_sent = true;
  try {
    for (std::size_t i = 0; journal.Has(i); ++i) {
      const JournalRow row = journal.At(i);
      AppendRecord(slot, row.record_id, row.table_number, row.change_type, records.Text(journal, i),
                   out);
      if (mark_each) {
        out.marked += MarkExported(copy_number, row.record_id, row.table_number);
      } else {
        sent[row.table_number].push_back(row.record_id);
      }
      if (EndOfBatch(slot, out)) {
        everything_sent = false;
        break;
      }
    }
  } catch (...) {
    walk_.Stop();
    slots_.SetProgress(slot, 0);
    throw;
  }
  walk_.Stop();
  slots_.SetProgress(slot, 0);
  if (mark_each) return;
  // Every record walked to the end covers every entry this transaction sees, but for entries
  // without a record, which mark nothing.
  if (everything_sent && !new_only && !walk_.PassedUnkeyedEntries()) {
    out.marked = MarkAll(copy_number);
  } else {
    out.marked = MarkSets(copy_number, in_flight, sent);
  }
}

void TChangeExport::AppendRecord(int slot, std::int32_t record_id, std::int32_t table_number,
                                 std::int32_t change_type, std::string_view text,
                                 PreparedChanges& out) {
  out.payload += text;
  if (host_.FullLog()) {
    host_.Log(Concat({Number(slot), " PREP IT=", Number(table_number), " IR=", Number(record_id),
                      " TZ=", Number(change_type)}),
              kLogRecord);
  }
}

// Counts the record just added; true when the batch ends with it.
bool TChangeExport::EndOfBatch(int slot, PreparedChanges& out) {
  ++out.count;
  slots_.SetProgress(slot, PayloadProgress(out.payload.size()));
  out.cut = out.payload.size() > kPayloadLimit;
  return out.cut || host_.Closing();
}

std::int32_t TChangeExport::MarkAll(std::int32_t copy_number) {
  mark_all_.ParamByName("IDREPKOPIE").SetInt(copy_number);
  mark_all_.Execute();
  return static_cast<std::int32_t>(mark_all_.RowsAffected());
}

std::int32_t TChangeExport::MarkSets(std::int32_t copy_number, std::int32_t in_flight,
                                     RecordsByTable& records_by_table) {
  std::int32_t marked = 0;
  for (auto& [table_number, ids] : records_by_table) {
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    ForEachKeyRun(ids, [&, table = table_number](std::span<const std::int32_t> keys) {
      fb::Statement& mark = mark_set_.Bind(keys);
      BindPickable(mark, copy_number, in_flight);
      mark.ParamByName("IDTABELI").SetInt(table);
      mark.Execute();
      marked += static_cast<std::int32_t>(mark.RowsAffected());
    });
  }
  return marked;
}

std::int32_t TChangeExport::MarkExported(std::int32_t copy_number, std::int32_t record_id,
                                         std::int32_t table_number) {
  IBQ_REPZMIANY_Update2.ParamByName("IDREPKOPIE").SetInt(copy_number);
  IBQ_REPZMIANY_Update2.ParamByName("IDREKORDU").SetInt(record_id);
  IBQ_REPZMIANY_Update2.ParamByName("IDTABELI").SetInt(table_number);
  IBQ_REPZMIANY_Update2.Execute();
  const auto marked = static_cast<std::int32_t>(IBQ_REPZMIANY_Update2.RowsAffected());
  if (host_.FullLog()) host_.Log(" RA2=" + Number(marked), kLogRecord, true);
  return marked;
}

// The work's scope has rolled back every mark by now.
void TChangeExport::ReportFailure(std::int32_t copy_number, int slot, std::string_view message) {
  LogRecord(Concat({Number(slot), " ROLLB:", message}));
  slots_.SetErrorText(slot, message);
  host_.Log(Concat({"Wystąpił błąd w czasie przygotowywania danych dla bazy nr "_cp,
                    Number(copy_number), ":\r\n", message}),
            kLogError);
}

// Detailed lines are logged only with full logging.
void TChangeExport::LogRecord(std::string_view text, bool continue_line) {
  if (host_.FullLog()) {
    host_.Log(text, kLogRecord, continue_line);
  }
}

}  // namespace tramolin
