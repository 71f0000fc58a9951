// Import throughput: the main database journals N = 100,000 records for copy 1 over six tables
// of every column type (the export benchmark's mix: inserts, a tenth of them updated, a fiftieth
// deleted); the export turns them into batches once. Timed: the copy imports every batch, as a
// client does. Against it: a prepared INSERT of the same rows into the same tables of a fresh
// copy, with their journal triggers, committed every 1,000 rows. Both in records per second, and
// their ratio at the end.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/change_import.h"
#include "engine/change_statement.h"
#include "engine/dmdb.h"
#include "engine/fb/statement.h"
#include "engine/pass_dm.h"
#include "engine/record_text.h"
#include "engine/replication_data.h"
#include "support/journalled_databases.h"
#include "support/rate_comparison.h"
#include "util/change_payload_header.h"

namespace tramolin {
namespace {

namespace fs = std::filesystem;
using bench::kAllTables;
using bench::kParams;
using bench::QuietHost;
using bench::TheJournal;

// One database with its data engine, as the program makes it.
struct Module {
  Module(const std::string& path, bool server) : host(server) {
    DatabaseSettings settings;
    settings.server = "";
    settings.directory = fs::path(path).parent_path().string();
    settings.file = fs::path(path).filename().string();
    data = std::make_unique<ReplicationData>(host, host, pass_dm, settings);
    if (!data->ConnectDatabase()) throw std::runtime_error(host.error);
    data->ReadIdentity();
  }

  QuietHost host;
  TPassDM pass_dm;
  std::unique_ptr<ReplicationData> data;
};

// The records texts of every batch the main database has for copy 1, exported once.
const std::vector<std::string>& Batches() {
  static const std::vector<std::string> batches = [] {
    std::vector<std::string> out;
    Module main(TheJournal().MainPath(), true);
    for (;;) {
      PreparedChanges changes;
      if (!main.data->PrepareChanges(1, false, 0, changes))
        throw std::runtime_error(main.host.error);
      if (changes.count == 0) break;
      std::string_view records = changes.payload;
      CutChangePayloadHeader(records);
      out.emplace_back(records);
      main.host.last_transaction = changes.transaction_number;
      if (!main.data->DeleteJournalEntries(0)) throw std::runtime_error(main.host.error);
    }
    return out;
  }();
  return batches;
}

void BM_ImportChanges(benchmark::State& state) {
  const std::vector<std::string>& batches = Batches();
  std::int64_t records = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto copy = std::make_unique<Module>(TheJournal().FreshCopy("copy1.fdb"), false);
    state.ResumeTiming();
    for (const std::string& batch : batches) {
      std::string_view rest = batch;
      const ImportResult result = copy->data->ImportChanges(rest, 0, -1);
      if (result.outcome != ImportOutcome::kDone) {
        state.SkipWithError(copy->host.error.c_str());
        return;
      }
      records += result.count;
    }
    state.PauseTiming();
    copy.reset();
    state.ResumeTiming();
  }
  state.counters["records/s"] =
      benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
  state.counters["records"] =
      static_cast<double>(records) / static_cast<double>(state.iterations());
  state.counters["batches"] = static_cast<double>(batches.size());
}

// The rows the batches insert or update, as inserts (what the import applies, without deletes).
std::vector<TRekord> RowsToInsert() {
  std::vector<TRekord> rows;
  for (const std::string& batch : Batches()) {
    std::string_view rest = batch;
    while (!rest.empty()) {
      TRekord record;
      ParseRecord(rest, record);
      if (record.change_type == kChangeDelete) continue;
      record.change_type = kChangeInsert;
      rows.push_back(std::move(record));
    }
  }
  return rows;
}

void BM_PreparedInsert(benchmark::State& state) {
  const std::vector<TRekord> rows = RowsToInsert();
  std::int64_t records = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::string path = TheJournal().FreshCopy("copy1.fdb");
    auto db = std::make_unique<fb::Attachment>();
    db->Open(path, kParams);
    auto transaction = std::make_unique<fb::Transaction>(
        *db, std::initializer_list<fb::TransactionItem>{fb::TransactionItem::kReadCommitted,
                                                        fb::TransactionItem::kRecVersion,
                                                        fb::TransactionItem::kNowait});
    auto inserts = std::make_unique<StatementCache>(*transaction, 64);
    state.ResumeTiming();
    transaction->Start();
    int pending = 0;
    for (const TRekord& row : rows) {
      const TTableInfo& table = *TableInfo(row.table_number);
      fb::Statement& insert = inserts->Get(ChangeStatement(row, table));
      BindChange(insert, row, table);
      insert.Execute();
      ++records;
      if (++pending == 1000) {
        transaction->Commit();
        transaction->Start();
        pending = 0;
      }
    }
    transaction->Commit();
    state.PauseTiming();
    inserts.reset();
    transaction.reset();
    db->Detach();
    db.reset();
    state.ResumeTiming();
  }
  state.counters["records/s"] =
      benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_ImportChanges)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_PreparedInsert)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
}  // namespace tramolin

int main(int argc, char** argv) {
  return tramolin::bench::RunAndCompare(
      argc, argv,
      {"BM_ImportChanges/iterations:3/real_time", "BM_PreparedInsert/iterations:3/real_time",
       "ImportChanges", "prepared INSERT", "the import reaches"});
}
