#include "engine/journal_repair.h"

#include <exception>
#include <string_view>

#include "engine/dmdb.h"
#include "engine/fb/statement.h"
#include "engine/record.h"
#include "engine/transaction_scope.h"

namespace tramolin {
namespace {

constexpr std::string_view kJournalEntry =
    "INSERT INTO REPZMIANY (ID, IDREPKOPIE, IDTABELI, IDREKORDU, TYPZMIANY, PRIORYTET,\n"
    "  IDTRANSAKCJI)\n"
    "VALUES (GEN_ID(REPZMIANY_ID, 1), :IDREPKOPIE, :IDTABELI, :IDREKORDU, :TYPZMIANY, 0, 0)";

std::int32_t Journal(fb::Statement& insert, const std::vector<std::int32_t>& records,
                     std::int32_t change_type) {
  insert.ParamByName("TYPZMIANY").SetInt(change_type);
  for (const std::int32_t record : records) {
    insert.ParamByName("IDREKORDU").SetInt(record);
    insert.Execute();
  }
  return static_cast<std::int32_t>(records.size());
}

}  // namespace

std::optional<std::int32_t> JournalRepair(TDMDB& db, const RepairOrder& order) {
  if (!db.ConnectDatabase()) return std::nullopt;
  try {
    TransactionScope work(db.IBT_REPZMIANY_Delete2());
    fb::Statement insert(db.IBT_REPZMIANY_Delete2(), kJournalEntry);
    insert.ParamByName("IDREPKOPIE").SetInt(order.copy);
    insert.ParamByName("IDTABELI").SetInt(order.table);
    const std::int32_t written = Journal(insert, order.resend, kChangeUpdate) +
                                 Journal(insert, order.withdraw, kChangeDelete);
    work.Commit();
    return written;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace tramolin
