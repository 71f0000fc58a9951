#include "engine/table_digest.h"

#include <xxhash.h>

#include <string>

#include "engine/decimal_manager.h"
#include "engine/dmdb.h"
#include "engine/fb/statement.h"
#include "engine/record_reader.h"
#include "engine/record_text.h"
#include "engine/table_catalogue.h"
#include "engine/transaction_scope.h"

namespace tramolin {
namespace {

constexpr std::string_view kInFlightQuery =
    "SELECT DISTINCT IDREKORDU FROM REPZMIANY WHERE IDREPKOPIE=:KOPIA AND IDTABELI=:TABELA "
    "ORDER BY IDREKORDU";

const TTableInfo& ReplicatedTable(std::int32_t table_number) {
  const TTableInfo* table = TableInfo(table_number);
  if (table == nullptr || !table->IsUsable()) {
    throw TableDigestError("no replicated table number " + std::to_string(table_number));
  }
  return *table;
}

std::vector<std::int32_t> ReadInFlightIds(fb::Transaction& snapshot, std::int32_t table_number,
                                          std::int32_t destination) {
  fb::Statement select(snapshot, kInFlightQuery);
  select.ParamByName("KOPIA").SetInt(destination);
  select.ParamByName("TABELA").SetInt(table_number);
  std::vector<std::int32_t> ids;
  fb::ResultSet rows = select.Open();
  while (rows.Next()) ids.push_back(static_cast<std::int32_t>(rows.GetInt(0)));
  return ids;
}

// Walks the ascending in-flight ids along the ascending keys of the table's pass.
class InFlightFilter {
 public:
  explicit InFlightFilter(const std::vector<std::int32_t>& ids)
      : next_(ids.begin()), end_(ids.end()) {}

  bool HoldsBack(std::int32_t id) {
    while (next_ != end_ && *next_ < id) ++next_;
    return next_ != end_ && *next_ == id;
  }

 private:
  std::vector<std::int32_t>::const_iterator next_;
  std::vector<std::int32_t>::const_iterator end_;
};

// One record's digest; the record and its text are reused from row to row.
class RecordDigester {
 public:
  RecordDigester(std::int32_t table_number, const TDecimalInfo* decimals)
      : record_{0, table_number, kChangeInsert, {}}, decimals_(decimals) {}

  std::uint64_t Digest(std::int32_t id, const fb::ResultSet& row) {
    record_.record_id = id;
    record_.fields.clear();
    trace_.clear();
    text_.clear();
    ReadExportColumns(record_, row, decimals_, trace_);
    AppendRecordText(record_, text_, NullColumns::kWritten);
    return RecordTextDigest(text_);
  }

 private:
  TRekord record_;
  const TDecimalInfo* decimals_;
  std::string trace_;
  std::string text_;
};

std::vector<RecordDigest> DigestRecords(fb::Transaction& snapshot, TDecimalManager& decimals,
                                        std::int32_t table_number, const TTableInfo& table,
                                        const std::vector<std::int32_t>& in_flight) {
  fb::Statement select(snapshot, TableSelectText(decimals, table.name, table.key_column));
  fb::ResultSet rows = select.Open();
  const int key = rows.IndexOf(table.key_column);
  RecordDigester digester(table_number, decimals.Find(table.name));
  InFlightFilter held_back(in_flight);
  std::vector<RecordDigest> digests;
  while (rows.Next()) {
    const auto id = static_cast<std::int32_t>(rows.GetInt(key));
    if (!digests.empty() && id <= digests.back().id) {
      throw TableDigestError(std::string(table.name) + " gives no distinct ascending ids");
    }
    if (held_back.HoldsBack(id)) continue;
    digests.push_back({id, digester.Digest(id, rows)});
  }
  return digests;
}

}  // namespace

std::uint64_t RecordTextDigest(std::string_view text) {
  const std::uint64_t digest = XXH3_64bits(text.data(), text.size());
  return digest == kInFlightDigest ? digest + 1 : digest;
}

TableDigests ReadTableDigests(fb::Attachment& db, TDecimalManager& decimals,
                              std::int32_t table_number, std::int32_t destination) {
  const TTableInfo& table = ReplicatedTable(table_number);
  fb::Transaction snapshot(db, {fb::TransactionItem::kConcurrency, fb::TransactionItem::kRead,
                                fb::TransactionItem::kNowait});
  TransactionScope work(snapshot);
  TableDigests out;
  out.in_flight = ReadInFlightIds(snapshot, table_number, destination);
  out.records = DigestRecords(snapshot, decimals, table_number, table, out.in_flight);
  work.Commit();
  return out;
}

TableDigests ReadTableDigests(TDMDB& db, std::int32_t table_number, std::int32_t destination) {
  return ReadTableDigests(db.DB(), db.Decimals(), table_number, destination);
}

}  // namespace tramolin
