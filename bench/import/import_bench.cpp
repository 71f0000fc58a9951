// Import throughput: the main database journals N = 100,000 records for copy 1 over six tables
// of every column type (the export benchmark's mix: inserts, a tenth of them updated, a fiftieth
// deleted); the export turns them into batches once. Timed: the copy imports every batch, as a
// client does. Against it: a prepared INSERT of the same rows into the same tables of a fresh
// copy, with their journal triggers, committed every 1,000 rows. Both in records per second, and
// their ratio at the end.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/change_export.h"
#include "engine/change_import.h"
#include "engine/change_statement.h"
#include "engine/conflict_journal.h"
#include "engine/database_events.h"
#include "engine/dmdb.h"
#include "engine/fb/statement.h"
#include "engine/journal_cleanup.h"
#include "engine/pass_dm.h"
#include "engine/record_text.h"
#include "engine/schema_adaptation.h"
#include "util/change_payload_header.h"

namespace tramolin {
namespace {

namespace fs = std::filesystem;

constexpr int kRecords = 100000;
constexpr std::string_view kParams =
    "user_name=SYSDBA\r\npassword=sandorift\r\nlc_ctype=WIN1250\r\n";

constexpr std::string_view kGenericTables[] = {"DOKUMENTY", "KONTRAHENT", "ZADANIA", "ZAMDETAIL"};
constexpr int kRowsPerTable = kRecords / 6;

class QuietHost : public HostServices, public SlotBook {
 public:
  explicit QuietHost(bool server) : server_(server) {}
  void Log(std::string_view, int, bool) override {}
  void SetProgress(int, int) override {}
  void SetErrorText(int, std::string_view text) override { error = text; }
  std::string GetErrorText(int) const override { return error; }
  int GetSlotDBNR(int) const override { return 1; }
  int GetSlotLastTransID(int) const override { return last_transaction; }
  bool Closing() const override { return false; }
  bool ServerMode() const override { return server_; }
  int LocalCopyNumber() const override { return server_ ? 0 : 1; }
  bool EventsEnabled() const override { return false; }
  bool FullLog() const override { return false; }
  double Now() const override { return 45123.5; }

  std::string error;
  int last_transaction = 0;

 private:
  bool server_;
};

std::string Generic(std::string_view table, int rows, int offset) {
  const std::string n = std::to_string(rows);
  const std::string k = std::to_string(offset);
  return "EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < " + n +
         ") DO BEGIN "
         "INSERT INTO " +
         std::string(table) +
         " (NAZWA, ILOSC, WARTOSC, IDKONTRAHENTA, DATA, DANE, OPIS, IDOPERATORA, "
         "DATAMODYFIKACJI, DATAUTW) VALUES ('Pozycja nr ' || (:I + " +
         k +
         "), :I * 0.25, :I * 1.1 + 0.003, MOD(:I, 500), CAST('2024-01-01' AS DATE) + MOD(:I, 365), "
         "CASE WHEN MOD(:I, 4) = 0 THEN RPAD('bin', 200, ASCII_CHAR(MOD(:I, 256))) END, "
         "CASE WHEN MOD(:I, 3) > 0 THEN RPAD('Opis; linia', 60 + MOD(:I, 90), ' abc') END, "
         "MOD(:I, 20), CURRENT_TIMESTAMP, CAST('2023-07-16 12:00' AS TIMESTAMP) + :I / 1000.0); "
         "I = I + 1; END END";
}

std::string Towary(int rows) {
  return "EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < " + std::to_string(rows) +
         ") DO BEGIN "
         "INSERT INTO TOWARY (NAZWA, CENA, CENAZAKUPU, KOD, JM, STAWKAVAT, IDGRUPY, DATAUTW, OPIS) "
         "VALUES ('Towar ' || :I, 10 + :I / 7.0, 8 + :I / 9.0, 'K' || :I, 'szt', 23, MOD(:I, 40), "
         "CURRENT_TIMESTAMP, CASE WHEN MOD(:I, 2) = 0 THEN RPAD('Opis towaru', 300, ' x') END); "
         "I = I + 1; END END";
}

std::string Fakhead(int rows) {
  return "EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < " + std::to_string(rows) +
         ") DO BEGIN "
         "INSERT INTO FAKHEAD (NAZWA, SYMBOL, WARTOSC, STATUS, DATA, UWAGI, OPIS, KWOTA, "
         "DATAMODYFIKACJI, DATAUTW) VALUES ('Faktura ' || :I, 'FV/' || :I, :I * 3.5, MOD(:I, 3), "
         "CURRENT_TIMESTAMP, CASE WHEN MOD(:I, 5) = 0 THEN 'Uwagi' || ASCII_CHAR(13) || "
         "ASCII_CHAR(10) "
         "|| 'druga linia' END, 'Opis', :I * 1.23, CURRENT_TIMESTAMP, CURRENT_TIMESTAMP); "
         "I = I + 1; END END";
}

// A tenth of the records are updated afterwards and a fiftieth deleted, spread over the tables.
constexpr std::string_view kUpdates[] = {
    "UPDATE DOKUMENTY SET WARTOSC = WARTOSC + 1 WHERE MOD(ID, 10) = 3",
    "UPDATE TOWARY SET CENA = CENA * 1.05 WHERE MOD(ID, 10) = 3",
    "UPDATE ZAMDETAIL SET OPIS = 'zmieniony' WHERE MOD(ID, 10) = 3",
    "UPDATE FAKHEAD SET STATUS = 2 WHERE MOD(ID, 10) = 3",
    "UPDATE KONTRAHENT SET NAZWA = NAZWA || '*' WHERE MOD(ID, 10) = 3",
    "UPDATE ZADANIA SET DATAMODYFIKACJI = CURRENT_TIMESTAMP WHERE MOD(ID, 10) = 3",
    "DELETE FROM ZADANIA WHERE MOD(ID, 50) = 7",
    "DELETE FROM FAKHEAD WHERE MOD(ID, 50) = 7",
};

constexpr std::string_view kAllTables[] = {"DOKUMENTY", "KONTRAHENT", "ZADANIA",
                                           "ZAMDETAIL", "TOWARY",     "FAKHEAD"};

// The main database with its journal, made once per run.
class Journal {
 public:
  Journal() {
    std::string pattern = (fs::temp_directory_path() / "tramolin-import-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    const std::string command =
        "'" TRAMOLIN_SOURCE_DIR "/scripts/make-databases.sh' '" + dir_.string() + "' 1 >/dev/null";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("make-databases.sh failed");
    Fill();
  }
  ~Journal() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // A fresh copy of the empty copy database for one run.
  std::string FreshCopy() const {
    const fs::path work = dir_ / "work.fdb";
    fs::remove(work);
    fs::copy_file(dir_ / "copy1.fdb", work);
    return work.string();
  }
  std::string MainPath() const { return (dir_ / "main.fdb").string(); }
  const fs::path& Dir() const { return dir_; }

 private:
  // One script through isql (the blocks' local variables are no statement parameters), one
  // transaction.
  void Fill() {
    std::vector<std::string> statements;
    int offset = 0;
    for (std::string_view table : kGenericTables) {
      statements.push_back(Generic(table, kRowsPerTable, offset));
      offset += kRowsPerTable;
    }
    statements.push_back(Towary(kRowsPerTable));
    statements.push_back(Fakhead(kRecords - 5 * kRowsPerTable));
    statements.insert(statements.end(), std::begin(kUpdates), std::end(kUpdates));
    const fs::path script = dir_ / "fill.sql";
    {
      std::ofstream out(script);
      out << "SET TERM ^ ;\n";
      for (const std::string& sql : statements) out << sql << "^\n";
      out << "COMMIT^\n";
    }
    const std::string command = "isql-fb -q -b -user SYSDBA -password sandorift '" +
                                (dir_ / "main.fdb").string() + "' -i '" + script.string() + "' >'" +
                                (dir_ / "fill.log").string() + "' 2>&1";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("filling the journal failed");
  }

  fs::path dir_;
};

const Journal& TheJournal() {
  static const Journal journal;  // made on first use, removed at exit
  return journal;
}

struct Module {
  Module(const std::string& path, bool server) : host(server) {
    DatabaseSettings settings;
    settings.server = "";
    settings.directory = fs::path(path).parent_path().string();
    settings.file = fs::path(path).filename().string();
    db = std::make_unique<TDMDB>(host, host, pass_dm, settings);
    if (!db->ConnectDatabase()) throw std::runtime_error(host.error);
    db->ReadIdentity();
    exporter = std::make_unique<TChangeExport>(*db, host, host);
    cleanup = std::make_unique<TJournalCleanup>(*db, host, host);
    journal = std::make_unique<TConflictJournal>(*db, host);
    schema = std::make_unique<TSchemaAdaptation>(*db, host);
    events = std::make_unique<TDatabaseEvents>(*db, host);
    importer = std::make_unique<TChangeImport>(*db, host, host, *journal, *schema, *events);
  }
  ~Module() {
    importer.reset();
    events.reset();
    schema.reset();
    journal.reset();
    cleanup.reset();
    exporter.reset();
    db.reset();
  }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  QuietHost host;
  TPassDM pass_dm;
  std::unique_ptr<TDMDB> db;
  std::unique_ptr<TChangeExport> exporter;
  std::unique_ptr<TJournalCleanup> cleanup;
  std::unique_ptr<TConflictJournal> journal;
  std::unique_ptr<TSchemaAdaptation> schema;
  std::unique_ptr<TDatabaseEvents> events;
  std::unique_ptr<TChangeImport> importer;
};

// The records texts of every batch the main database has for copy 1, exported once.
const std::vector<std::string>& Batches() {
  static const std::vector<std::string> batches = [] {
    std::vector<std::string> out;
    Module main(TheJournal().MainPath(), true);
    for (;;) {
      PreparedChanges changes;
      if (!main.exporter->PrepareChanges(1, false, 0, changes))
        throw std::runtime_error(main.host.error);
      if (changes.count == 0) break;
      std::string_view records = changes.payload;
      CutChangePayloadHeader(records);
      out.emplace_back(records);
      main.host.last_transaction = changes.transaction_number;
      if (!main.cleanup->DeleteJournalEntries(0)) throw std::runtime_error(main.host.error);
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
    auto copy = std::make_unique<Module>(TheJournal().FreshCopy(), false);
    state.ResumeTiming();
    for (const std::string& batch : batches) {
      std::string_view rest = batch;
      std::int32_t conflicts = 0;
      std::int32_t count = 0;
      if (copy->importer->ImportChanges(rest, 0, conflicts, count, -1) != kImportDone) {
        state.SkipWithError(copy->host.error.c_str());
        return;
      }
      records += count;
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
    const std::string path = TheJournal().FreshCopy();
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
      fb::Statement& insert = inserts->Get(ChangeStatement(row, table, {}));
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

// The console report, then the two rates side by side.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const auto found = run.counters.find("records/s");
      if (found != run.counters.end()) rates_[run.benchmark_name()] = found->second.value;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const double imported = rates_["BM_ImportChanges/iterations:3/real_time"];
    const double inserted = rates_["BM_PreparedInsert/iterations:3/real_time"];
    if (imported > 0 && inserted > 0) {
      std::cout << "ImportChanges: " << static_cast<long long>(imported)
                << " records/s; prepared INSERT: " << static_cast<long long>(inserted)
                << " records/s; the import reaches " << imported / inserted
                << " of the insert rate\n";
    }
  }

 private:
  std::map<std::string, double> rates_;
};

}  // namespace
}  // namespace tramolin

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  tramolin::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
