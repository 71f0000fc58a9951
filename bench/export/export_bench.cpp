// Export throughput: a main database with one copy journals N = 100,000 records spread over six
// tables of every column type (inserts, a tenth of them updated, a fiftieth deleted); the export
// runs batch after batch, each confirmed, until the journal is empty. Against it: one plain
// SELECT per table reading every column of the same rows; and the floor the journal sets, that
// SELECT plus one UPDATE marking every entry for the copy in the same transaction, committed.
// All in records per second, and the export's ratio to each at the end. Also the size of a batch
// of 1,000 of those records as text and as a frame, without and with explicit NULL columns.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/change_export.h"
#include "engine/dmdb.h"
#include "engine/fb/statement.h"
#include "engine/journal_cleanup.h"
#include "engine/pass_dm.h"
#include "protocol/frame.h"
#include "protocol/packet_types.h"
#include "protocol/payloads.h"
#include "support/journalled_databases.h"
#include "support/rate_comparison.h"
#include "util/change_payload_header.h"

namespace tramolin {
namespace {

namespace fs = std::filesystem;
using bench::kAllTables;
using bench::kParams;
using bench::QuietHost;

struct Module {
  explicit Module(const std::string& path) {
    DatabaseSettings settings;
    settings.server = "";
    settings.directory = fs::path(path).parent_path().string();
    settings.file = fs::path(path).filename().string();
    db = std::make_unique<TDMDB>(host, host, pass_dm, settings);
    if (!db->ConnectDatabase()) throw std::runtime_error(host.error);
    db->ReadIdentity();
    exporter = std::make_unique<TChangeExport>(*db, host, host);
    cleanup = std::make_unique<TJournalCleanup>(*db, host, host);
  }
  QuietHost host;
  TPassDM pass_dm;
  std::unique_ptr<TDMDB> db;
  std::unique_ptr<TChangeExport> exporter;
  std::unique_ptr<TJournalCleanup> cleanup;
};

void BM_PrepareChanges(benchmark::State& state) {
  const bench::JournalledDatabases& journal = bench::TheJournal();
  std::int64_t records = 0;
  std::int64_t batches = 0;
  std::int64_t bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto module = std::make_unique<Module>(journal.FreshCopy("main.fdb"));
    state.ResumeTiming();
    for (;;) {
      PreparedChanges changes;
      if (!module->exporter->PrepareChanges(1, false, 0, changes)) {
        state.SkipWithError(module->host.error.c_str());
        return;
      }
      state.PauseTiming();
      records += changes.count;
      bytes += static_cast<std::int64_t>(changes.payload.size());
      ++batches;
      module->host.last_transaction = changes.transaction_number;
      const bool confirmed = module->cleanup->DeleteJournalEntries(0).has_value();
      const bool done = changes.count == 0;
      state.ResumeTiming();
      if (!confirmed || done) break;
    }
    state.PauseTiming();
    module.reset();
    state.ResumeTiming();
  }
  state.counters["records/s"] =
      benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
  state.counters["records"] =
      static_cast<double>(records) / static_cast<double>(state.iterations());
  state.counters["batches"] =
      static_cast<double>(batches) / static_cast<double>(state.iterations());
  state.SetBytesProcessed(bytes);
}

// The first 1,000 records of the first batch, without and with explicit NULL columns: their text
// and the frame that carries them (compressed and encoded), in bytes.
void BM_ThousandRecordBatchBytes(benchmark::State& state) {
  const NullColumns nulls = state.range(0) != 0 ? NullColumns::kWritten : NullColumns::kLeftOut;
  const bench::JournalledDatabases& journal = bench::TheJournal();
  std::size_t text_bytes = 0;
  std::size_t frame_bytes = 0;
  for (auto _ : state) {
    Module module(journal.FreshCopy("main.fdb"));
    PreparedChanges changes;
    if (!module.exporter->PrepareChanges(1, false, 0, changes, nulls)) {
      state.SkipWithError(module.host.error.c_str());
      return;
    }
    std::string_view records = changes.payload;
    CutChangePayloadHeader(records);
    const std::size_t start = changes.payload.size() - records.size();
    RecordSpan span;
    for (int i = 0; i < 1000 && NextRecordSpan(records, span); ++i) {
    }
    const std::string text =
        BuildChangeBatch(1000, 1000,
                         std::string_view(changes.payload)
                             .substr(start)
                             .substr(0, changes.payload.size() - start - records.size()));
    text_bytes = text.size();
    frame_bytes = BuildPacket(pkZmiany, text, false).size();
  }
  state.counters["text bytes"] = static_cast<double>(text_bytes);
  state.counters["frame bytes"] = static_cast<double>(frame_bytes);
}

// Reads every column of every row of the table the way its type suggests.
std::int64_t ReadTable(fb::Transaction& transaction, std::string_view table) {
  fb::Statement select(transaction, "SELECT * FROM " + std::string(table));
  fb::ResultSet rows = select.Open();
  std::int64_t count = 0;
  while (rows.Next()) {
    for (int i = 0; i < rows.ColumnCount(); ++i) {
      if (rows.IsNull(i)) continue;
      switch (rows.Column(i).type) {
        case fb::SqlType::kText:
        case fb::SqlType::kVarying:
        case fb::SqlType::kBlob:
          benchmark::DoNotOptimize(rows.GetBytes(i));
          break;
        case fb::SqlType::kTimestamp:
        case fb::SqlType::kDate:
        case fb::SqlType::kTime:
          benchmark::DoNotOptimize(rows.GetDateTime(i));
          break;
        default:
          benchmark::DoNotOptimize(rows.GetDouble(i));
      }
    }
    ++count;
  }
  return count;
}

void BM_PlainSelect(benchmark::State& state) {
  const bench::JournalledDatabases& journal = bench::TheJournal();
  const std::string path = journal.FreshCopy("main.fdb");
  fb::Attachment db;
  db.Open(path, kParams);
  fb::Transaction transaction(db,
                              {fb::TransactionItem::kConcurrency, fb::TransactionItem::kNowait});
  std::int64_t records = 0;
  for (auto _ : state) {
    transaction.Start();
    for (std::string_view table : kAllTables) records += ReadTable(transaction, table);
    transaction.Commit();
  }
  db.Detach();
  state.counters["records/s"] =
      benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
}

// The least any export under the journal does: read the rows and mark every entry it answers
// for, in one transaction. Counted in the rows read, like the plain SELECT; on a fresh copy (and
// attachment) each time, as the export runs, since the marks stay.
void BM_SelectAndMarkAll(benchmark::State& state) {
  const bench::JournalledDatabases& journal = bench::TheJournal();
  std::int64_t records = 0;
  std::int64_t marked = 0;
  for (auto _ : state) {
    state.PauseTiming();
    fb::Attachment db;
    db.Open(journal.FreshCopy("main.fdb"), kParams);
    {
      fb::Transaction transaction(
          db, {fb::TransactionItem::kConcurrency, fb::TransactionItem::kNowait});
      fb::Statement mark(transaction,
                         "UPDATE REPZMIANY SET IDTRANSAKCJI=CURRENT_TRANSACTION "
                         "WHERE IDREPKOPIE=:IDREPKOPIE");
      mark.ParamAt(0).SetInt(1);
      state.ResumeTiming();
      transaction.Start();
      for (std::string_view table : kAllTables) records += ReadTable(transaction, table);
      mark.Execute();
      marked += mark.RowsAffected();
      transaction.Commit();
      state.PauseTiming();
    }
    db.Detach();
    state.ResumeTiming();
  }
  state.counters["records/s"] =
      benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
  state.counters["entries"] = static_cast<double>(marked) / static_cast<double>(state.iterations());
}

BENCHMARK(BM_PrepareChanges)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_PlainSelect)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_SelectAndMarkAll)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ThousandRecordBatchBytes)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tramolin

int main(int argc, char** argv) {
  return tramolin::bench::RunAndCompare(
      argc, argv,
      std::vector<tramolin::bench::RateComparison>{
          {"BM_PrepareChanges/iterations:3/real_time", "BM_PlainSelect/iterations:5/real_time",
           "PrepareChanges", "plain SELECT", "the export reaches"},
          {"BM_PrepareChanges/iterations:3/real_time", "BM_SelectAndMarkAll/iterations:3/real_time",
           "PrepareChanges", "plain SELECT and marking UPDATE", "the export reaches"}});
}
