// The replication server's main database behind a Firebird server on loopback (a private one of
// this test, with the host application's logins) instead of the embedded engine: the connection
// with the administrator password read through the host's login, the identity, a synchronisation,
// the database's events, and an outage of the Firebird server in the middle of the work.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

#include "client_harness.h"
#include "engine/dmdb.h"

namespace tramolin::testing {
namespace {

class FirebirdServerTest : public ClientServerFixture {
 protected:
  void SetUp() override {
    ClientServerFixture::SetUp();
    // The embedded connection lets go of the file for the Firebird server.
    server_.StopSessions();
    data_.reset();
    fb_dir_ = (Dir() / "firebird").string();
    ASSERT_EQ(Script("start"), 0) << "the private Firebird server did not start";
    endpoint_ = "127.0.0.1/" + ReadPort();
    DatabaseSettings settings;
    settings.server = endpoint_;
    settings.directory = Dir().string();
    settings.file = "main.fdb";
    data_ = std::make_unique<ReplicationData>(host_, server_, pass_dm_, settings);
    data_->SetEventHandler([this](const std::string& name, unsigned) {
      const std::lock_guard lock(events_mutex_);
      events_.push_back(name);
    });
    ASSERT_TRUE(data_->ConnectDatabase()) << host_.GetErrorText(-1);
    identity_ = data_->ReadIdentity();
    server_.SetWorkerDatabase(WorkerDatabaseLike(*data_));
    server_.SetIdentity({identity_.id, kProgramVersion, identity_.version});
  }
  // The Firebird server goes before the test's folder, with the connections to it.
  void TearDown() override {
    client_.Link().ScheduleReconnect(false);
    server_.StopSessions();
    data_.reset();
    Script("stop");
    ClientServerFixture::TearDown();
  }

  int Script(const std::string& command) const {
    const std::string line = "TRAMOLIN_FB_PASSWORD='" + AdminPassword() + "' '" +
                             TRAMOLIN_SOURCE_DIR + "/scripts/firebird-server.sh' " + command +
                             " '" + fb_dir_ + "' >/dev/null";
    return std::system(line.c_str());
  }
  std::string ReadPort() const {
    std::ifstream env(fb_dir_ + "/env");
    std::string line;
    while (std::getline(env, line)) {
      if (line.starts_with("export TRAMOLIN_FB_PORT=")) return line.substr(24);
    }
    return {};
  }
  // The main database as the test reaches it: through the Firebird server.
  std::string Main() const { return endpoint_ + ":" + MainPath(); }
  void ExpectSameTables() {
    for (const TableKey& t : kComparedTables) {
      EXPECT_EQ(TableRows(Main(), t.table, t.key), TableRows(CopyPath(1), t.table, t.key))
          << t.table;
    }
    EXPECT_EQ(QueryInt(Main(), "SELECT COUNT(*) FROM REPZMIANY WHERE IDREPKOPIE = 1"), 0);
    EXPECT_EQ(QueryInt(CopyPath(1), "SELECT COUNT(*) FROM REPZMIANY WHERE IDREPKOPIE = 0"), 0);
  }
  bool EventArrived(const std::string& name) {
    const std::lock_guard lock(events_mutex_);
    return std::find(events_.begin(), events_.end(), name) != events_.end();
  }

  std::string fb_dir_;
  std::string endpoint_;
  std::mutex events_mutex_;
  std::vector<std::string> events_;
};

TEST_F(FirebirdServerTest, TheSiteSynchronisesThroughAFirebirdServerAndItsEventsArrive) {
  EXPECT_EQ(data_->Database().Settings().password, AdminPassword())
      << "read through the host application's login";
  EXPECT_EQ(identity_.type, 0);
  EXPECT_EQ(identity_.version, "119.3");
  Exec(Main(), "INSERT INTO DOKUMENTY (ID, NAZWA, WARTOSC) VALUES (1, 'przez serwer', 2.5)");
  Exec(CopyPath(1), "INSERT INTO TOWARY (ID, NAZWA) VALUES (10500001, 'z kopii')");
  ASSERT_TRUE(Synchronise());
  ExpectSameTables();

  Exec(Main(), "EXECUTE PROCEDURE POST_DBUPGRADE");
  EXPECT_TRUE(RunUntil([&] { return EventArrived("DBUPGRADE"); }));
}

TEST_F(FirebirdServerTest, AfterAnOutageOfTheFirebirdServerTheSiteCatchesUp) {
  ASSERT_TRUE(Synchronise());
  ASSERT_EQ(Script("restart"), 0);
  Exec(Main(), "INSERT INTO DOKUMENTY (ID, NAZWA) VALUES (2, 'po awarii')");
  Exec(CopyPath(1), "INSERT INTO DOKUMENTY (ID, NAZWA) VALUES (10500002, 'w czasie awarii')");
  // The next cycle meets the dead connection: the server opens it again, or reports the failure
  // and the client comes again.
  const int cycles = Lines("Następna synchronizacja za: "_cp);
  client_.SyncSoon();
  ASSERT_TRUE(RunUntil(
      [&] {
        return client_.ActivityState() == kClientDisconnected ||
               Lines("Następna synchronizacja za: "_cp) > cycles;
      },
      20'000));
  if (client_.ActivityState() == kClientDisconnected) {
    EXPECT_GE(Lines("Na serwerze wystąpił błąd"_cp), 1);
    ASSERT_TRUE(Synchronise());
  }
  // The session's worker connects for its first job and once more after the outage.
  const std::string connected = "Połączono z bazą danych "_cp + endpoint_;
  EXPECT_EQ(std::count_if(host_.lines.begin(), host_.lines.end(),
                          [&](const LogLine& line) {
                            return line.level == kLogDiagnostic && line.text.starts_with(connected);
                          }),
            2)
      << "the dead connection is noticed and opened again";
  ExpectSameTables();
}

}  // namespace
}  // namespace tramolin::testing
