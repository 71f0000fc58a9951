// The main data module on a real database: database events reach it on the main thread, and
// the database timers' handlers close an idle connection only when the rules allow.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <fstream>

#include "dmdb_test_access.h"
#include "engine/pass_dm.h"
#include "engine/replication_data.h"
#include "engine_fixture.h"
#include "integration/server/server_harness.h"
#include "shell/database_link.h"
#include "shell/tdm.h"
#include "util/cp1250.h"

namespace tramolin::testing {
namespace {

class TdmDatabaseTest : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    std::ofstream(Dir() / "Tramolin2.ini") << "[DB]\r\nDBHOST=\r\nDBPATH=" << Dir().string()
                                           << "\r\nDBFILE=main.fdb\r\n[Server]\r\nPort=0\r\n";
    ShellServices services;
    services.app_dir = Dir();
    services.executable_name = "tdm_database_test";
    services.clock = [] { return 46000.5; };
    services.firebird_probe = [](const TConfig&) { return std::optional<std::string>(); };
    tdm_ = std::make_unique<TDM>(std::move(services));
    database_ = std::make_unique<ReplicationData>(*tdm_, tdm_->Slots(), pass_dm_,
                                                  DatabaseSettingsOf(tdm_->Config()));
    tdm_->AttachDatabase(database_.get());
  }
  void TearDown() override {
    database_.reset();
    tdm_.reset();
    EngineFixture::TearDown();
  }

  TPassDM pass_dm_;
  std::unique_ptr<TDM> tdm_;
  std::unique_ptr<ReplicationData> database_;
};

TEST_F(TdmDatabaseTest, DatabaseEventsArriveOnTheMainThread) {
  QString received;
  QThread* receiving_thread = nullptr;
  QObject::connect(tdm_.get(), &TDM::databaseEvent, [&](const QString& name) {
    received = name;
    receiving_thread = QThread::currentThread();
  });
  ASSERT_TRUE(database_->ConnectDatabase());
  Exec(MainPath(), "EXECUTE PROCEDURE POST_DBUPGRADE");

  QElapsedTimer waited;
  waited.start();
  while (received.isEmpty() && waited.elapsed() < 10000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  EXPECT_EQ(received, "DBUPGRADE");
  EXPECT_EQ(receiving_thread, QCoreApplication::instance()->thread());
}

TEST_F(TdmDatabaseTest, IdleServerConnectionIsClosedUnlessATransactionIsActive) {
  ASSERT_TRUE(database_->ConnectDatabase());
  Internals(database_->Database()).IBTSQL().Start();
  tdm_->Timers().tmrDBDisconnectTimer();
  EXPECT_TRUE(database_->Connected());

  Internals(database_->Database()).IBTSQL().Rollback();
  tdm_->Timers().tmrDBDisconnect.start();
  tdm_->Timers().tmrDBDisconnectTimer();
  EXPECT_FALSE(tdm_->Timers().tmrDBDisconnect.isActive());
  EXPECT_FALSE(database_->Connected());
}

TEST_F(TdmDatabaseTest, ConnectingStopsTheIdleTimer) {
  tdm_->Timers().tmrDBDisconnect.start();
  ASSERT_TRUE(database_->ConnectDatabase());
  EXPECT_FALSE(tdm_->Timers().tmrDBDisconnect.isActive());
}

TEST_F(TdmDatabaseTest, ATechnicianGetsTheServersReportsAnswersAndLogLines) {
  ASSERT_TRUE(tdm_->StartWork());
  ScriptedClient technician(tdm_->Server().ListeningPort());
  ASSERT_EQ(technician.Next().type, pkPolaczenie);
  TAUTHData auth;
  auth.Serwisant = true;
  technician.Send(pkAutoryzacja, BuildAuthData(auth));
  ASSERT_EQ(technician.Next().payload, "0");

  technician.Send(pkPolecenie, "1;");
  EXPECT_TRUE(technician.Next().payload.starts_with("0;Raport stanu serwera:\r\n"));
  technician.Send(pkPolecenie, "7;SELECT GEN_ID(BAZA_ID, 0) FROM RDB$DATABASE;");
  EXPECT_EQ(technician.Next().payload, "0;[RC=1] \"4711\"");
  technician.Send(pkPolecenie, "3;");
  EXPECT_EQ(technician.Next().payload, "0;Nasłuch włączony"_cp);
  tdm_->Log("kontrolny wpis", kLogProgress);
  tdm_->Log("pasek stanu", kLogStatus);
  EXPECT_EQ(technician.Next().payload, "0; Serwer: [4] kontrolny wpis");
  EXPECT_EQ(technician.Next(300).type, 0);  // status-bar lines are not forwarded
}

}  // namespace
}  // namespace tramolin::testing
