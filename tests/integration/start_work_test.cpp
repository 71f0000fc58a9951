// The start of work of a real process on real databases: a server on the main database, the
// mode rules on a copy, a database that cannot be reached, and the restart of an installed
// service through the service manager.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTcpServer>
#include <csignal>
#include <fstream>

#include "engine_fixture.h"
#include "integration/program_folder.h"
#include "integration/server/server_harness.h"

namespace tramolin::testing {
namespace {

class StartWorkTest : public EngineFixture {
 protected:
  StartWorkTest()
      : folder_(std::string("t3_") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name()) {}

  // [Tramolin] comes last, so a test may append keys of that section.
  void Configure(const std::string& database_file, int mode, int port = 17846) {
    folder_.WriteFile("Tramolin2.ini",
                      "[DB]\r\nDBHOST=\r\nDBPATH=" + Dir().string() + "\r\nDBFILE=" +
                          database_file + "\r\n[Server]\r\nPort=" + std::to_string(port) +
                          "\r\n[Tramolin]\r\nMode=" + std::to_string(mode) + "\r\n");
  }
  std::string ErrorLog() const { return folder_.ReadText("Tramolin2_error.log"); }
  std::string DebugLog() const { return folder_.ReadText("Tramolin2_debug.log"); }

  ProgramFolder folder_;
};

TEST_F(StartWorkTest, ServerOnTheMainDatabaseStartsWorkAndRecordsItsRun) {
  Configure("main.fdb", 1);
  QProcess& server = folder_.Start({"-s", "-d"});
  ASSERT_TRUE(folder_.WaitFor("pid")) << DebugLog();
  EXPECT_NE(DebugLog().find("Rozpoczynanie pracy ("), std::string::npos);
  EXPECT_NE(DebugLog().find("jako usługa \"Tramolin2\"..."), std::string::npos);
  EXPECT_NE(DebugLog().find("ID bazy: 4711, typ bazy: główna, ID kopii: 0"), std::string::npos);
  EXPECT_NE(DebugLog().find("Wersja bazy: 119.3, wersja programu: 2.0.0.1, obsługiwana "
                            "struktura bazy: 119.XX"),
            std::string::npos);
  EXPECT_NE(DebugLog().find("Dodano informację do dziennika REPINFO"), std::string::npos);

  ::kill(static_cast<pid_t>(server.processId()), SIGTERM);
  ASSERT_TRUE(server.waitForFinished(15000));
  EXPECT_EQ(server.exitCode(), 0);
  EXPECT_EQ(QueryInt(MainPath(),
                     "SELECT COUNT(*) FROM REPINFO WHERE TRYBPRACY = 1 AND "
                     "IDREPKOPIE = 0 AND DATAKONIEC IS NOT NULL"),
            1);
}

TEST_F(StartWorkTest, ServerProcessListensOnItsPortAndAnswersAClient) {
  quint16 port = 0;
  {
    QTcpServer probe;  // a port nobody uses right now
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    port = probe.serverPort();
  }
  Configure("main.fdb", 1, port);
  QProcess& server = folder_.Start({"-s", "-d"});
  ASSERT_TRUE(folder_.WaitFor("pid")) << DebugLog();
  ScriptedClient client(port);
  EXPECT_EQ(client.Next().type, pkPolaczenie);
  TAUTHData auth;
  auth.Serwisant = true;
  client.Send(pkAutoryzacja, BuildAuthData(auth));
  EXPECT_EQ(client.Next().payload, "0");
  ::kill(static_cast<pid_t>(server.processId()), SIGTERM);
  ASSERT_TRUE(server.waitForFinished(15000));
  EXPECT_EQ(server.exitCode(), 0);
}

quint16 FreePort() {
  QTcpServer probe;  // a port nobody uses right now
  return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

void Stop(QProcess& process) {
  ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
  ASSERT_TRUE(process.waitForFinished(15000));
  EXPECT_EQ(process.exitCode(), 0);
}

TEST_F(StartWorkTest, ClientProcessSynchronisesWithAServerProcess) {
  const quint16 port = FreePort();
  Configure("main.fdb", 1, port);
  ProgramFolder client_folder(std::string("t3c_") +
                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
  client_folder.WriteFile("Tramolin2.ini", "[DB]\r\nDBHOST=\r\nDBPATH=" + Dir().string() +
                                               "\r\nDBFILE=copy1.fdb\r\n[Klient]\r\nHost=127.0.0.1"
                                               "\r\nPort=" +
                                               std::to_string(port) +
                                               "\r\n[Tramolin]\r\nMode=0\r\n");
  Exec(MainPath(), "INSERT INTO DOKUMENTY (ID, NAZWA) VALUES (1, 'z centrali')");
  Exec(CopyPath(1), "INSERT INTO DOKUMENTY (ID, NAZWA) VALUES (10500001, 'z oddziału')");

  QProcess& server = folder_.Start({"-s", "-d"});
  ASSERT_TRUE(folder_.WaitFor("pid")) << DebugLog();
  QProcess& client = client_folder.Start({"-s", "-d"});
  EXPECT_TRUE(client_folder.WaitFor("Tramolin2_debug.log", "Następna synchronizacja za: ", 60'000))
      << client_folder.ReadText("Tramolin2_debug.log");
  Stop(client);
  Stop(server);
  EXPECT_EQ(TableRows(MainPath(), "DOKUMENTY"), TableRows(CopyPath(1), "DOKUMENTY"));
  EXPECT_EQ(QueryInt(MainPath(), "SELECT COUNT(*) FROM DOKUMENTY WHERE ID IN (1, 10500001)"), 2);
  // Only the end of each run, written to the activity journal (table 42) on closing, waits.
  EXPECT_EQ(QueryInt(MainPath(),
                     "SELECT COUNT(*) FROM REPZMIANY WHERE IDREPKOPIE = 1 AND "
                     "IDTABELI <> 42"),
            0);
  EXPECT_EQ(QueryInt(CopyPath(1), "SELECT COUNT(*) FROM REPZMIANY WHERE IDTABELI <> 42"), 0);
}

TEST_F(StartWorkTest, ServerOnACopyRefusesToWork) {
  Configure("copy1.fdb", 1);
  EXPECT_EQ(folder_.Run({"-s"}), 1);
  EXPECT_NE(ErrorLog().find("Serwer replikacji nie może współpracować z bazą: \"replikowana\""),
            std::string::npos);
  EXPECT_NE(ErrorLog().find("Nie udało się rozpocząć pracy. Zamykanie. (szczegóły w pliku \""),
            std::string::npos);
  EXPECT_FALSE(folder_.Exists("pid"));
}

TEST_F(StartWorkTest, ClientOnTheMainDatabaseRefusesToWork) {
  Configure("main.fdb", 0);
  EXPECT_EQ(folder_.Run({"-s"}), 1);
  EXPECT_NE(ErrorLog().find("Klient replikacji nie może współpracować z bazą: \"główna\""),
            std::string::npos);
}

TEST_F(StartWorkTest, UnreachableDatabaseFailsAfterTenAttemptsWithTheDatabaseError) {
  Configure("missing.fdb", 1);
  folder_.SetEnvironment("TRAMOLIN2_DB_RETRY_PAUSE_MS", "10");
  EXPECT_EQ(folder_.Run({"-s", "-d"}), 1);
  const std::string error_log = ErrorLog();
  EXPECT_NE(error_log.find("Nie udało się nazwiązać połączenia z bazą\r\n"), std::string::npos);
  EXPECT_NE(error_log.find("missing.fdb"), std::string::npos);
  std::size_t attempts = 0;
  const std::string debug = DebugLog();
  for (auto at = debug.find("Łączenie z bazą danych"); at != std::string::npos;
       at = debug.find("Łączenie z bazą danych", at + 1)) {
    ++attempts;
  }
  EXPECT_EQ(attempts, 10u);
}

TEST_F(StartWorkTest, RetryPauseThatIsNoNumberKeepsTheDefaultAndIsLogged) {
  Configure("main.fdb", 1);
  folder_.SetEnvironment("TRAMOLIN2_DB_RETRY_PAUSE_MS", "3s");
  QProcess& server = folder_.Start({"-s", "-d"});
  ASSERT_TRUE(folder_.WaitFor("pid")) << DebugLog();
  EXPECT_NE(
      ErrorLog().find("TRAMOLIN2_DB_RETRY_PAUSE_MS=\"3s\" nie jest liczbą milisekund; przerwa "
                      "między próbami: 3000 ms."),
      std::string::npos)
      << ErrorLog();
  ::kill(static_cast<pid_t>(server.processId()), SIGTERM);
  ASSERT_TRUE(server.waitForFinished(15000));
  EXPECT_EQ(server.exitCode(), 0);
}

TEST_F(StartWorkTest, InteractiveStartOfAnInstalledServiceRestartsTheServiceAndExits) {
  Configure("main.fdb", 1);
  std::ofstream(folder_.Dir() / "Tramolin2.ini", std::ios::app) << "RunAsService=1\r\n";
  const std::filesystem::path systemctl = folder_.Dir() / "systemctl-stub";
  std::ofstream(systemctl) << "#!/bin/sh\necho \"$@\" >> '" << (folder_.Dir() / "calls").string()
                           << "'\n[ \"$1\" = start ] && touch '" << (folder_.Dir() / "pid").string()
                           << "'\nexit 0\n";
  std::filesystem::permissions(systemctl, std::filesystem::perms::owner_all);
  folder_.SetEnvironment("TRAMOLIN2_SYSTEMCTL", QString::fromStdString(systemctl.string()));

  EXPECT_EQ(folder_.Run({"-d"}), 0);
  EXPECT_EQ(folder_.ReadText("calls"), "stop Tramolin2.service\nstart Tramolin2.service\n");
  EXPECT_NE(DebugLog().find("Uruchomienie serwera replikacji w trybie usługi zakończono "
                            "pomyślnie."),
            std::string::npos);
  EXPECT_EQ(DebugLog().find("Rozpoczynanie pracy"), std::string::npos);
}

}  // namespace
}  // namespace tramolin::testing
