// The databases the benchmarks share: a main database and copy 1 made from schema/, the main one
// journalling N = 100,000 records for the copy over six tables of every column type (inserts, a
// tenth of them updated, a fiftieth deleted), made once per run; and a host that stays quiet.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "engine/host_services.h"
#include "engine/slot_book.h"

namespace tramolin::bench {

inline constexpr int kRecords = 100000;
inline constexpr std::string_view kParams =
    "user_name=SYSDBA\r\npassword=sandorift\r\nlc_ctype=WIN1250\r\n";
inline constexpr std::string_view kAllTables[] = {"DOKUMENTY", "KONTRAHENT", "ZADANIA",
                                                  "ZAMDETAIL", "TOWARY",     "FAKHEAD"};

// Logs nothing; keeps the last error text; slot values are those of copy 1.
class QuietHost : public HostServices, public SlotBook {
 public:
  explicit QuietHost(bool server = true) : server_(server) {}
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

class JournalledDatabases {
 public:
  JournalledDatabases();
  ~JournalledDatabases();
  JournalledDatabases(const JournalledDatabases&) = delete;
  JournalledDatabases& operator=(const JournalledDatabases&) = delete;

  // A fresh working copy of main.fdb or copy1.fdb (a run consumes or fills it).
  std::string FreshCopy(std::string_view file) const;
  std::string MainPath() const { return (dir_ / "main.fdb").string(); }

 private:
  void Fill();

  std::filesystem::path dir_;
};

// Made on first use, removed at exit.
const JournalledDatabases& TheJournal();

}  // namespace tramolin::bench
