// Export throughput: a main database with one copy journals N = 100,000 records spread over six
// tables of every column type (inserts, a tenth of them updated, a fiftieth deleted); the export
// runs batch after batch, each confirmed, until the journal is empty. Against it: one plain
// SELECT per table reading every column of the same rows. Both in records per second, and
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
#include "engine/dmdb.h"
#include "engine/fb/statement.h"
#include "engine/journal_cleanup.h"
#include "engine/pass_dm.h"

namespace tramolin {
namespace {

namespace fs = std::filesystem;

constexpr int kRecords = 100000;
constexpr std::string_view kParams =
    "user_name=SYSDBA\r\npassword=sandorift\r\nlc_ctype=WIN1250\r\n";

// Tables with the generic host columns, and the rows each gets.
constexpr std::string_view kGenericTables[] = {"DOKUMENTY", "KONTRAHENT", "ZADANIA", "ZAMDETAIL"};
constexpr int kRowsPerTable = kRecords / 6;

class QuietHost : public HostServices, public SlotBook {
 public:
  void Log(std::string_view, int, bool) override {}
  void SetProgress(int, int) override {}
  void SetErrorText(int, std::string_view text) override { error = text; }
  std::string GetErrorText(int) const override { return error; }
  int GetSlotDBNR(int) const override { return 1; }
  int GetSlotLastTransID(int) const override { return last_transaction; }
  bool Closing() const override { return false; }
  bool ServerMode() const override { return true; }
  int LocalCopyNumber() const override { return 0; }
  bool EventsEnabled() const override { return false; }
  bool FullLog() const override { return false; }
  double Now() const override { return 45123.5; }

  std::string error;
  int last_transaction = 0;
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
    std::string pattern = (fs::temp_directory_path() / "tramolin-export-bench-XXXXXX").string();
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

  // A fresh copy of the journalled database (the export consumes its journal).
  std::string FreshCopy() const {
    const fs::path work = dir_ / "work.fdb";
    fs::remove(work);
    fs::copy_file(dir_ / "main.fdb", work);
    return work.string();
  }
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
  const Journal& journal = TheJournal();
  std::int64_t records = 0;
  std::int64_t batches = 0;
  std::int64_t bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto module = std::make_unique<Module>(journal.FreshCopy());
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
      const bool confirmed = module->cleanup->DeleteJournalEntries(0);
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
  const Journal& journal = TheJournal();
  const std::string path = journal.FreshCopy();
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

BENCHMARK(BM_PrepareChanges)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_PlainSelect)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

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
    const double exported = rates_["BM_PrepareChanges/iterations:3/real_time"];
    const double selected = rates_["BM_PlainSelect/iterations:5/real_time"];
    if (exported > 0 && selected > 0) {
      std::cout << "PrepareChanges: " << static_cast<long long>(exported)
                << " records/s; plain SELECT: " << static_cast<long long>(selected)
                << " records/s; the export takes " << selected / exported
                << " times as long per record\n";
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
