// A database module connected to a fresh main database, with a recording host, for the parts
// that act on the host application's tables.
#pragma once

#include <memory>
#include <string>

#include "dmdb_test_access.h"
#include "engine/dmdb.h"
#include "engine/pass_dm.h"
#include "engine_fixture.h"
#include "recording_host.h"
#include "util/cp1250.h"

namespace tramolin::testing {

class HostFixture : public EngineFixture {
 protected:
  void TearDown() override {
    db_.reset();
    EngineFixture::TearDown();
  }

  void Open(const std::string& file = "main.fdb") {
    DatabaseSettings settings;
    settings.server = "";
    settings.directory = Dir().string();
    settings.file = file;
    settings.attachment_folders = {Utf8ToCp1250(Dir().string())};
    db_ = std::make_unique<TDMDB>(host_, host_, pass_dm_, settings);
  }

  void Sql(std::string_view sql) { Exec(MainPath(), sql); }
  long long Count(std::string_view from_where) {
    return QueryInt(MainPath(), "SELECT COUNT(*) FROM " + std::string(from_where));
  }

  RecordingHost host_;
  TPassDM pass_dm_;
  std::unique_ptr<TDMDB> db_;
};

}  // namespace tramolin::testing
