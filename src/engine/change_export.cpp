#include "engine/change_export.h"

#include <algorithm>
#include <exception>

#include "engine/dmdb.h"
#include "engine/record_reader.h"
#include "engine/record_text.h"
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
    "WHERE IDREPKOPIE=:IDREPKOPIE\n"
    "GROUP BY PRIORYTET, IDREKORDU, IDTABELI\n"
    "ORDER BY PRIORYTET DESC , MIN(ID)";
constexpr std::string_view kSelectNew =
    "SELECT IDREKORDU, IDTABELI, MAX(TYPZMIANY) TYPZMIANY\n"
    "FROM REPZMIANY\n"
    "WHERE IDREPKOPIE = :IDREPKOPIE\n"
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
    "WHERE IDREPKOPIE=:IDREPKOPIE AND IDREKORDU=:IDREKORDU AND IDTABELI=:IDTABELI";
constexpr std::string_view kCount =
    "SELECT \n"
    "  COUNT(ID) WSZYSTKIE,\n"
    "  SUM(CASE WHEN TYPZMIANY = 0 THEN 1 ELSE 0 END) NOWE\n"
    "FROM REPZMIANY \n"
    "WHERE IDREPKOPIE = :IDREPKOPIE";

std::string Number(std::int64_t value) { return std::to_string(value); }

// The share of the payload limit the payload has reached, 0-100.
int PayloadProgress(std::size_t length) {
  const auto percent = (length * 100 + kPayloadLimit / 2) / kPayloadLimit;
  return static_cast<int>(std::min<std::size_t>(percent, 100));
}

}  // namespace

TChangeExport::TChangeExport(TDMDB& db, HostServices& host, SlotBook& slot_book)
    : db_(db),
      host_(host),
      slots_(slot_book),
      reader_(db.RecordReader()),
      IBQ_REPZMIANY_Select(db.IBTGetData(), kSelectAll),
      IBQ_REPZMIANY_NEW_Select(db.IBTGetData(), kSelectNew),
      IBQ_REPZMIANY_Update1(db.IBTGetData(), kClearStaleMarks),
      IBQ_REPZMIANY_Update2(db.IBTGetData(), kMarkRecord),
      IBQ_CURRENT_TRANSACTION(db.IBTGetData(), kCurrentTransaction),
      IBQ_REPZMIANY_Count(db.IBT_REPZMIANY_Count(), kCount) {}

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

bool TChangeExport::PrepareChanges(std::int32_t copy_number, bool new_only, int slot,
                                   PreparedChanges& out) {
  out.payload.clear();
  out.total = 0;
  out.count = 0;
  if (!db_.ConnectDatabase()) {
    return false;
  }
  slots_.SetProgress(slot, 0);
  try {
    TransactionScope work(db_.IBTGetData());
    ClearStaleMarks(copy_number, slot);
    out.transaction_number = ReadTransactionNumber();
    LogRecord(" TRNID=" + Number(out.transaction_number), true);
    const ChangeCounts counts = CountChanges(copy_number);
    out.total = counts.all;
    LogRecord(Concat({" CNT=", Number(counts.all), " CNTN=", Number(counts.new_count)}), true);
    ExportRecords(new_only ? IBQ_REPZMIANY_NEW_Select : IBQ_REPZMIANY_Select, copy_number, slot,
                  out);
    work.Commit();
    PrependChangePayloadHeader(out.payload, {out.count, out.total});
  } catch (const std::exception& e) {
    ReportFailure(copy_number, slot, e.what());
    out.payload.clear();
    return false;
  }
  LogRecord(Concat({Number(slot), " PREP CNT=", Number(out.count), "/", Number(out.total)}));
  return true;
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
                                  PreparedChanges& out) {
  select.ParamByName("IDREPKOPIE").SetInt(copy_number);
  fb::ResultSet rows = select.Open();
  try {
    while (rows.Next()) {
      const auto record_id = static_cast<std::int32_t>(rows.GetInt(0));
      const auto table_number = static_cast<std::int32_t>(rows.GetInt(1));
      const auto change_type = static_cast<std::int32_t>(rows.GetInt(2));
      out.payload += reader_.PrzygotujRekord(record_id, table_number, false, change_type);
      if (host_.FullLog()) {
        host_.Log(Concat({Number(slot), " PREP IT=", Number(table_number),
                          " IR=", Number(record_id), " TZ=", Number(change_type)}),
                  kLogRecord);
      }
      MarkExported(copy_number, record_id, table_number);
      ++out.count;
      slots_.SetProgress(slot, PayloadProgress(out.payload.size()));
      if (out.payload.size() > kPayloadLimit || host_.Closing()) {
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

void TChangeExport::MarkExported(std::int32_t copy_number, std::int32_t record_id,
                                 std::int32_t table_number) {
  IBQ_REPZMIANY_Update2.ParamByName("IDREPKOPIE").SetInt(copy_number);
  IBQ_REPZMIANY_Update2.ParamByName("IDREKORDU").SetInt(record_id);
  IBQ_REPZMIANY_Update2.ParamByName("IDTABELI").SetInt(table_number);
  IBQ_REPZMIANY_Update2.Execute();
  if (host_.FullLog()) {
    host_.Log(" RA2=" + Number(IBQ_REPZMIANY_Update2.RowsAffected()), kLogRecord, true);
  }
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
