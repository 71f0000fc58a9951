// A database module on a fresh main database (or copy) with the export and the journal clean-up
// made for it, a host that records progress, and helpers that write and read the journal.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dmdb_test_access.h"
#include "engine/change_export.h"
#include "engine/dmdb.h"
#include "engine/journal_cleanup.h"
#include "engine/pass_dm.h"
#include "engine_fixture.h"
#include "recording_host.h"

namespace tramolin::testing {

// Keeps every progress value and runs a hook after each exported record (progress above 0 or
// after the first record).
class ExportHost : public RecordingHost {
 public:
  void SetProgress(int slot, int percent) override {
    RecordingHost::SetProgress(slot, percent);
    history.push_back(percent);
    if (on_progress) on_progress();
  }
  std::vector<int> history;
  std::function<void()> on_progress;
};

class ExportFixture : public EngineFixture {
 protected:
  void SetUp() override { EngineFixture::SetUp(); }
  void TearDown() override {
    cleanup_.reset();
    export_.reset();
    db_.reset();
    EngineFixture::TearDown();
  }

  // Connects the module to `file` and reads its identity (which loads the decimal catalogue).
  void Open(const std::string& file = "main.fdb") {
    DatabaseSettings settings;
    settings.server = "";
    settings.directory = Dir().string();
    settings.file = file;
    path_ = (Dir() / file).string();
    db_ = std::make_unique<TDMDB>(host_, host_, pass_dm_, settings);
    ASSERT_TRUE(db_->ConnectDatabase());
    db_->ReadIdentity();
    export_ = std::make_unique<TChangeExport>(*db_, host_, host_);
    cleanup_ = std::make_unique<TJournalCleanup>(*db_, host_, host_);
  }

  PreparedChanges Prepare(int copy = 1, bool new_only = false, int slot = 0) {
    PreparedChanges out;
    EXPECT_TRUE(export_->PrepareChanges(copy, new_only, slot, out)) << host_.GetErrorText(slot);
    return out;
  }
  // The confirmation of an export for slot 0, the server's slot of `copy`.
  bool Confirm(const PreparedChanges& changes, int copy = 1) {
    host_.slot_dbnr = copy;
    host_.slot_last_trans_id = changes.transaction_number;
    return cleanup_->DeleteJournalEntries(0).has_value();
  }

  void Sql(std::string_view sql) { Exec(path_, sql); }
  long long Count(const std::string& where) {
    return QueryInt(path_, "SELECT COUNT(*) FROM REPZMIANY WHERE " + where);
  }
  // A journal entry written by hand (the record need not exist).
  void Entry(int copy, int table, int record, int change, int priority = 5) {
    Sql("INSERT INTO REPZMIANY (ID, IDREPKOPIE, IDTABELI, IDREKORDU, TYPZMIANY, PRIORYTET) "
        "VALUES (GEN_ID(REPZMIANY_ID, 1), " +
        std::to_string(copy) + ", " + std::to_string(table) + ", " + std::to_string(record) + ", " +
        std::to_string(change) + ", " + std::to_string(priority) + ")");
  }

  ExportHost host_;
  TPassDM pass_dm_;
  std::string path_;
  std::unique_ptr<TDMDB> db_;
  std::unique_ptr<TChangeExport> export_;
  std::unique_ptr<TJournalCleanup> cleanup_;
};

}  // namespace tramolin::testing
