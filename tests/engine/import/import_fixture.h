// Two databases of one family for import tests: the main database (server mode, importing what
// copy 1 sends) and copy 1 (client mode, importing what the main database sends), each with its
// data engine, plus helpers that build payloads and read tables back.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dmdb_test_access.h"
#include "engine/change_import.h"
#include "engine/dmdb.h"
#include "engine/pass_dm.h"
#include "engine/record_text.h"
#include "engine/replication_data.h"
#include "engine_fixture.h"
#include "recording_host.h"
#include "util/change_payload_header.h"

namespace tramolin::testing {

// One database with the data engine made for it, reached through its front door.
struct Side {
  Side(const std::string& directory, const std::string& file, bool server_mode, int number)
      : path(directory + "/" + file) {
    host.server_mode = server_mode;
    host.local_copy_number = number;
    DatabaseSettings settings;
    settings.server = "";
    settings.directory = directory;
    settings.file = file;
    settings.attachment_folders = {directory};
    data = std::make_unique<ReplicationData>(host, host, pass_dm, settings);
    EXPECT_TRUE(data->ConnectDatabase());
    data->ReadIdentity();
  }

  // The records text of a payload (header already cut off).
  ImportOutcome Import(std::string_view records) {
    std::string_view rest = records;
    const ImportResult result = data->ImportChanges(rest, sender(), slot());
    conflicts = result.conflicts;
    count = result.count;
    remaining = std::string(rest);
    return result.outcome;
  }
  ImportOutcome ImportPayload(std::string_view payload) {
    CutChangePayloadHeader(payload);
    return Import(payload);
  }

  // What this side has for the other one, marked for the confirmation; NULL columns explicit, as
  // between two of our sites, unless asked otherwise.
  PreparedChanges Export(NullColumns nulls = NullColumns::kWritten) {
    PreparedChanges out;
    EXPECT_TRUE(data->PrepareChanges(sender(), false, slot(), out, nulls))
        << host.GetErrorText(slot());
    return out;
  }
  bool Confirm(const PreparedChanges& changes) {
    host.slot_dbnr = sender();
    host.slot_last_trans_id = changes.transaction_number;
    return data->DeleteJournalEntries(slot()).has_value();
  }

  TDMDB& Db() { return data->Database(); }
  // The main database journals for copy 1 under slot 0; the copy for the main database.
  int sender() const { return host.server_mode ? 1 : 0; }
  int slot() const { return host.server_mode ? 0 : -1; }
  std::string Error() const { return host.GetErrorText(slot()); }

  RecordingHost host;
  TPassDM pass_dm;
  std::string path;
  std::unique_ptr<ReplicationData> data;
  int conflicts = -1;
  int count = -1;
  std::string remaining;
};

class ImportFixture : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    main_ = std::make_unique<Side>(Dir().string(), "main.fdb", true, 0);
    copy_ = std::make_unique<Side>(Dir().string(), "copy1.fdb", false, 1);
  }
  void TearDown() override {
    copy_.reset();
    main_.reset();
    EngineFixture::TearDown();
  }

  // Every column of every row in key order, one text per value: NULL, bytes, or a number with
  // all its digits.
  std::vector<std::vector<std::string>> Rows(const Side& side, std::string_view table,
                                             std::string_view key = "ID");
  long long Journal(const Side& side) {
    return QueryInt(side.path, "SELECT COUNT(*) FROM REPZMIANY WHERE IDREPKOPIE=" +
                                   std::to_string(side.sender()));
  }
  // Sends everything `from` has for `to` batch by batch, each confirmed; false on any failure.
  bool Replicate(Side& from, Side& to);

  std::unique_ptr<Side> main_;
  std::unique_ptr<Side> copy_;
};

// Record texts.
inline std::string Text(const TRekord& record) { return RecordText(record); }
inline TRekord Record(std::int32_t id, std::int32_t table, std::int32_t change,
                      std::vector<TPole> fields = {}) {
  TRekord record;
  record.record_id = id;
  record.table_number = table;
  record.change_type = change;
  record.fields = std::move(fields);
  return record;
}

}  // namespace tramolin::testing
