// A real replication client on a fresh embedded copy (copy1.fdb) against the real server of the
// server harness on main.fdb, both in this process over loopback.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "client/client_state.h"
#include "client/replication_client.h"
#include "client/server_link.h"
#include "client/sync_cycle.h"
#include "integration/server/server_harness.h"
#include "util/cp1250.h"

namespace tramolin::testing {

// The tables the tests change, with their key columns.
struct TableKey {
  const char* table;
  const char* key;
};
inline constexpr TableKey kComparedTables[] = {
    {"DOKUMENTY", "ID"}, {"TOWARY", "ID"}, {"FAKHEAD", "ID"}, {"URZADZENIA", "ID"}};

class ClientServerFixture : public ServerFixture {
 protected:
  void SetUp() override {
    ServerFixture::SetUp();
    client_host_.server_mode = false;
    client_host_.local_copy_number = 1;
    DatabaseSettings settings;
    settings.server = "";
    settings.directory = Dir().string();
    settings.file = "copy1.fdb";
    client_data_ =
        std::make_unique<ReplicationData>(client_host_, client_, client_pass_dm_, settings);
    ASSERT_TRUE(client_data_->ConnectDatabase());
    copy_identity_ = client_data_->ReadIdentity();
    client_.AttachDatabase(client_data_.get());
    client_.SetCredentials({copy_identity_.number, copy_identity_.id, "", copy_identity_.version,
                            "2.1.5.7", false, false});
    client_.SetHooks({[this](int, int state) { client_states_.push_back(state); }, nullptr, nullptr,
                      [this] { ++held_back_; }, nullptr});
    Configure([](ClientSettings&) {});
  }
  void TearDown() override {
    client_.Link().ScheduleReconnect(false);
    client_.AttachDatabase(nullptr);
    client_data_.reset();
    ServerFixture::TearDown();
  }

  void Configure(const std::function<void(ClientSettings&)>& change) {
    ClientSettings settings;
    settings.addresses = {"127.0.0.1", server_.ListeningPort(), "", 0, ""};
    change(settings);
    client_.Configure(settings);
  }
  int Lines(std::string_view prefix) const { return client_host_.CountLines(prefix); }
  bool WaitForLine(std::string_view prefix, int count = 1, int timeout_ms = 20'000) {
    return RunUntil([&] { return Lines(prefix) >= count; }, timeout_ms);
  }
  bool WaitForState(int state, int timeout_ms = 10'000) {
    return RunUntil([&] { return client_.ActivityState() == state; }, timeout_ms);
  }
  // Connects (or starts a cycle when logged in) and waits until a cycle found nothing left on
  // either side.
  bool Synchronise() {
    const int before = Lines("Następna synchronizacja za: "_cp);
    if (client_.ActivityState() == kClientDisconnected) {
      client_.Link().tmrKConnectTimer();
    } else {
      client_.SyncSoon();
    }
    return WaitForLine("Następna synchronizacja za: "_cp, before + 1);
  }
  void ExpectConverged() {
    for (const TableKey& t : kComparedTables) {
      EXPECT_EQ(TableRows(MainPath(), t.table, t.key), TableRows(CopyPath(1), t.table, t.key))
          << t.table;
    }
    EXPECT_EQ(Journal(1), 0) << "main's journal for the copy";
    EXPECT_EQ(QueryInt(CopyPath(1), "SELECT COUNT(*) FROM REPZMIANY WHERE IDREPKOPIE=0"), 0)
        << "the copy's journal for main";
  }
  void RunAll(const std::string& database, std::initializer_list<std::string_view> statements) {
    for (std::string_view sql : statements) Exec(database, sql);
  }

  RecordingHost client_host_;
  TPassDM client_pass_dm_;
  ReplicationClient client_{client_host_};
  std::unique_ptr<ReplicationData> client_data_;
  DatabaseIdentity copy_identity_;
  std::vector<int> client_states_;
  int held_back_ = 0;
};

}  // namespace tramolin::testing
