#include "engine/journal_cleanup.h"

#include <exception>
#include <string>

#include "engine/dmdb.h"
#include "engine/transaction_scope.h"
#include "util/cp1250.h"
#include "util/log_level.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

constexpr std::string_view kDeleteConfirmed =
    "DELETE FROM REPZMIANY\n"
    "WHERE IDREPKOPIE=:IDREPKOPIE\n"
    "AND IDTRANSAKCJI=:IDTRANSAKCJI";

constexpr std::string_view kCountEntries = "SELECT COUNT(*) FROM REPZMIANY WHERE ";

std::string Number(std::int64_t value) { return std::to_string(value); }

}  // namespace

TJournalCleanup::TJournalCleanup(TDMDB& db, HostServices& host, SlotBook& slot_book)
    : db_(db),
      host_(host),
      slots_(slot_book),
      IBQ_REPZMIANY_Delete2(db.IBT_REPZMIANY_Delete2(), kDeleteConfirmed),
      entries_of_records_(db.IBT_REPZMIANY_Count(), kCountEntries,
                          "IDREPKOPIE=:IDREPKOPIE AND IDTABELI=:IDTABELI", "IDREKORDU") {}

std::optional<std::int32_t> TJournalCleanup::DeleteJournalEntries(int slot) {
  if (!db_.ConnectDatabase()) {
    return std::nullopt;
  }
  const int copy_number = slot == -1 ? 0 : slots_.GetSlotDBNR(slot);
  const int transaction_number = slots_.GetSlotLastTransID(slot);
  int step = 1;
  try {
    return Delete(slot, copy_number, transaction_number, step);
  } catch (const std::exception& e) {
    ReportFailure(slot, copy_number, e.what(), step);
    return std::nullopt;
  }
}

// `step` tells how far the delete came: 2 started, 3 closed, 4 and 5 parameters set, 6 executed,
// 7 logged, 8 committed.
std::int32_t TJournalCleanup::Delete(int slot, int copy_number, int transaction_number, int& step) {
  TransactionScope work(db_.IBT_REPZMIANY_Delete2());
  step = 2;
  IBQ_REPZMIANY_Delete2.ClearParams();
  step = 3;
  IBQ_REPZMIANY_Delete2.ParamByName("IDREPKOPIE").SetInt(copy_number);
  step = 4;
  IBQ_REPZMIANY_Delete2.ParamByName("IDTRANSAKCJI").SetInt(transaction_number);
  step = 5;
  IBQ_REPZMIANY_Delete2.Execute();
  step = 6;
  const auto deleted = static_cast<std::int32_t>(IBQ_REPZMIANY_Delete2.RowsAffected());
  if (host_.FullLog()) {
    host_.Log(
        Concat({Number(slot), " DEL IDREPKOPIE=", Number(copy_number), " REPZM=", Number(deleted)}),
        kLogRecord);
  }
  step = 7;
  work.Commit();
  step = 8;
  return deleted;
}

void TJournalCleanup::SweepImportedEntries(std::int32_t sender, const RecordsByTable& records) {
  if (!db_.Connected()) return;
  try {
    TransactionScope reading(db_.IBT_REPZMIANY_Count());
    for (const auto& [table_number, ids] : records) {
      ForEachKeyRun(ids, [&, table = table_number](std::span<const std::int32_t> keys) {
        fb::Statement& count = entries_of_records_.Bind(keys);
        count.ParamByName("IDREPKOPIE").SetInt(sender);
        count.ParamByName("IDTABELI").SetInt(table);
        fb::ResultSet rows = count.Open();
        rows.Next();
      });
    }
    reading.Commit();
  } catch (const std::exception&) {
    // the next export clears them
  }
}

// The delete's scope has rolled back by now.
void TJournalCleanup::ReportFailure(int slot, int copy_number, std::string_view message, int step) {
  const std::string at = Concat({" [", Number(step), "]"});
  if (host_.FullLog()) {
    host_.Log(Concat({Number(slot), " ROLLB: ", message, at}), kLogRecord);
  }
  slots_.SetErrorText(slot, Concat({message, at}));
  host_.Log(Concat({"Wystąpił błąd w czasie usuwania wpisów z dziennika zmian bazy nr "_cp,
                    Number(copy_number), ":\r\n", message, at}),
            kLogError);
}

}  // namespace tramolin
