#include "support/journalled_databases.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace tramolin::bench {
namespace {

namespace fs = std::filesystem;

// Tables with the generic host columns, and the rows each gets.
constexpr std::string_view kGenericTables[] = {"DOKUMENTY", "KONTRAHENT", "ZADANIA", "ZAMDETAIL"};
constexpr int kRowsPerTable = kRecords / 6;

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

}  // namespace

JournalledDatabases::JournalledDatabases() {
  std::string pattern = (fs::temp_directory_path() / "tramolin-bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  dir_ = pattern;
  const std::string command =
      "'" TRAMOLIN_SOURCE_DIR "/scripts/make-databases.sh' '" + dir_.string() + "' 1 >/dev/null";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("make-databases.sh failed");
  Fill();
}

JournalledDatabases::~JournalledDatabases() {
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
}

std::string JournalledDatabases::FreshCopy(std::string_view file) const {
  const fs::path work = dir_ / "work.fdb";
  fs::remove(work);
  fs::copy_file(dir_ / file, work);
  return work.string();
}

// One script through isql (the blocks' local variables are no statement parameters), one
// transaction.
void JournalledDatabases::Fill() {
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

const JournalledDatabases& TheJournal() {
  static const JournalledDatabases databases;
  return databases;
}

}  // namespace tramolin::bench
