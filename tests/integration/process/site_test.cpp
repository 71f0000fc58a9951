// A replicated site of real processes: a server on the main database and clients on the copies,
// each in a folder of its own, all sharing the database files with this test through the
// Classic-mode embedded root. Changes made while they run reach every database; a client killed
// in the middle of importing a large batch, or a server killed in the middle of importing a
// client's, loses and doubles nothing once restarted. A technician's console on a terminal gets
// the server's answers.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QTcpServer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine_fixture.h"
#include "integration/program_folder.h"

namespace tramolin::testing {
namespace {

// The tables the tests change, with their key columns.
constexpr const char* kTables[] = {"DOKUMENTY", "TOWARY", "KONTRAHENT", "FAKHEAD"};
// Entries that may wait when the programs end: the activity journal, where each process writes
// its end on closing, and the requests that woke the clients (a copy's request reaches the other
// copy only with that one's next cycle).
constexpr const char* kMustNotWait = "IDTABELI NOT IN (42, 70)";
constexpr const char* kSynchronised = "Następna synchronizacja za:";

// Every database of this test process and of the programs it starts shares its files.
class ClassicRootEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ::setenv("FIREBIRD", TRAMOLIN_CLASSIC_ROOT, 1);
    PinFirebirdPlugins();
  }
};
[[maybe_unused]] ::testing::Environment* const kClassicRoot =
    ::testing::AddGlobalTestEnvironment(new ClassicRootEnvironment);

quint16 FreePort() {
  QTcpServer probe;
  return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

std::string TestName() { return ::testing::UnitTest::GetInstance()->current_test_info()->name(); }

class SiteTest : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    port_ = FreePort();
    server_ = std::make_unique<ProgramFolder>("s_" + TestName());
    server_->WriteFile("Tramolin2.ini", Configuration("main.fdb") + "[Tramolin]\r\nMode=1\r\n" +
                                            "[Server]\r\nPort=" + std::to_string(port_) + "\r\n");
    for (int n = 1; n <= 2; ++n) {
      clients_.push_back(
          std::make_unique<ProgramFolder>("c" + std::to_string(n) + "_" + TestName()));
      clients_.back()->WriteFile(
          "Tramolin2.ini", Configuration("copy" + std::to_string(n) + ".fdb") +
                               "[Tramolin]\r\nMode=0\r\nInterwal=5\r\nEvents=1\r\n[Klient]\r\n"
                               "Host=127.0.0.1\r\nPort=" +
                               std::to_string(port_) + "\r\n");
    }
  }
  void TearDown() override {
    clients_.clear();
    server_.reset();
    EngineFixture::TearDown();
  }

  std::string Configuration(const std::string& file) const {
    return "[DB]\r\nDBHOST=\r\nDBPATH=" + Dir().string() + "\r\nDBFILE=" + file + "\r\n";
  }
  std::string Copy(int n) const { return CopyPath(n); }
  ProgramFolder& Client(int n) { return *clients_[static_cast<std::size_t>(n - 1)]; }

  QProcess& StartServer() {
    QProcess& process = server_->Start({"-s", "-d"});
    EXPECT_TRUE(server_->WaitFor("pid")) << server_->ReadText("Tramolin2_debug.log");
    return process;
  }
  QProcess& StartClient(int n) { return Client(n).Start({"-s", "-d"}); }
  int Syncs(int n) const {
    return clients_[static_cast<std::size_t>(n - 1)]->Count("Tramolin2_debug.log", kSynchronised);
  }
  // The client's cycles so far, or more, ended with nothing left on either side.
  bool WaitForSyncs(int n, int count, int timeout_ms = 60'000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (Syncs(n) < count) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
  }
  // A request in REPDIALOG wakes the copy's client at once; true when it then finished a cycle.
  bool Wake(int n) {
    const int before = Syncs(n);
    Exec(Copy(n), "INSERT INTO REPDIALOG (ID, STATUS) VALUES (GEN_ID(REKORD_ID, 1), 0)");
    return WaitForSyncs(n, before + 1);
  }
  // Every compared table holds the same rows on the main database and on each copy given, and
  // no journal entry waits but those that may.
  void ExpectConverged(std::initializer_list<int> copies) {
    for (const char* table : kTables) {
      const auto main = TableRows(MainPath(), table);
      for (int n : copies) EXPECT_EQ(main, TableRows(Copy(n), table)) << table << ", copy " << n;
    }
    for (int n : copies) {
      const std::string pending =
          std::string("SELECT COUNT(*) FROM REPZMIANY WHERE ") + kMustNotWait;
      EXPECT_EQ(QueryInt(MainPath(), pending + " AND IDREPKOPIE = " + std::to_string(n)), 0);
      EXPECT_EQ(QueryInt(Copy(n), pending), 0) << "copy " << n;
    }
  }
  // Many documents, so that the first batch is a large one. Through isql: the block's local
  // variable is no statement parameter.
  void InsertDocuments(const std::string& database, int first, int count) {
    const std::filesystem::path script = Dir() / "documents.sql";
    std::ofstream(script)
        << "SET TERM ^ ;\nEXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < " << count
        << ") DO BEGIN INSERT INTO DOKUMENTY (ID, NAZWA, WARTOSC, OPIS) "
        << "VALUES (" << first << " + :I, 'Dokument ' || :I, :I * 1.5, "
        << "LPAD('', 200, 'x')); I = I + 1; END END^\nCOMMIT^\n";
    const std::string command =
        "isql-fb -q -b -user SYSDBA '" + database + "' -i '" + script.string() + "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }

  quint16 port_ = 0;
  std::unique_ptr<ProgramFolder> server_;
  std::vector<std::unique_ptr<ProgramFolder>> clients_;
};

TEST_F(SiteTest, ChangesMadeWhileTheProgramsRunReachEveryDatabase) {
  StartServer();
  StartClient(1);
  StartClient(2);
  ASSERT_TRUE(WaitForSyncs(1, 1));
  ASSERT_TRUE(WaitForSyncs(2, 1));

  Exec(MainPath(), "INSERT INTO DOKUMENTY (ID, NAZWA, WARTOSC) VALUES (1, 'z centrali; 1', 10)");
  Exec(MainPath(), "INSERT INTO TOWARY (ID, NAZWA, CENA, RABAT) VALUES (10, 'Sruba', 0.35, 5)");
  Exec(Copy(1), "INSERT INTO DOKUMENTY (ID, NAZWA) VALUES (10500001, 'z kopii 1')");
  Exec(Copy(2), "INSERT INTO KONTRAHENT (ID, NAZWA) VALUES (11000001, 'z kopii 2')");
  Exec(Copy(2), "UPDATE DOKUMENTY SET NAZWA = 'bez zmian' WHERE ID = -1");
  // A change on one copy reaches the other in the round after the main database has it.
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(Wake(1));
    ASSERT_TRUE(Wake(2));
  }
  Exec(MainPath(), "UPDATE DOKUMENTY SET WARTOSC = 11 WHERE ID = 1");
  Exec(Copy(1), "DELETE FROM KONTRAHENT WHERE ID = 11000001");
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(Wake(1));
    ASSERT_TRUE(Wake(2));
  }
  ExpectConverged({1, 2});
  EXPECT_EQ(QueryInt(Copy(2), "SELECT COUNT(*) FROM KONTRAHENT WHERE ID = 11000001"), 0);
  EXPECT_EQ(Query(Copy(2), "SELECT WARTOSC FROM DOKUMENTY WHERE ID = 1"), "11");
}

TEST_F(SiteTest, AClientKilledWhileImportingALargeBatchConvergesAfterItsRestart) {
  InsertDocuments(MainPath(), 1, 20'000);
  StartServer();
  QProcess& client = StartClient(1);
  ASSERT_TRUE(Client(1).WaitFor("Tramolin2_debug.log", "Serwer przysłał", 60'000));
  Client(1).Kill(client);
  const long long imported_before_the_kill =
      QueryInt(Copy(1), "SELECT COUNT(*) FROM DOKUMENTY WHERE ID BETWEEN 1 AND 20000");
  EXPECT_LT(imported_before_the_kill, 20'000) << "killed after the import";
  StartClient(1);
  ASSERT_TRUE(WaitForSyncs(1, 1, 120'000)) << Client(1).ReadText("Tramolin2_debug.log");
  server_.reset();  // both end before the databases are compared
  clients_[0].reset();
  EXPECT_EQ(QueryInt(Copy(1), "SELECT COUNT(*) FROM DOKUMENTY WHERE ID BETWEEN 1 AND 20000"),
            20'000);
  ExpectConverged({1});
}

TEST_F(SiteTest, AServerKilledWhileImportingAClientsBatchConvergesAfterBothRestart) {
  InsertDocuments(Copy(1), 10'500'001, 20'000);
  QProcess& server = StartServer();
  QProcess& client = StartClient(1);
  ASSERT_TRUE(server_->WaitFor("Tramolin2_debug.log", "przysłał", 60'000));
  server_->Kill(server);
  Client(1).Kill(client);
  const long long imported_before_the_kill =
      QueryInt(MainPath(), "SELECT COUNT(*) FROM DOKUMENTY WHERE ID BETWEEN 10500001 AND 10520000");
  EXPECT_LT(imported_before_the_kill, 20'000) << "killed after the import";
  StartServer();
  StartClient(1);
  ASSERT_TRUE(WaitForSyncs(1, 1, 120'000)) << Client(1).ReadText("Tramolin2_debug.log");
  server_.reset();
  clients_[0].reset();
  EXPECT_EQ(
      QueryInt(MainPath(), "SELECT COUNT(*) FROM DOKUMENTY WHERE ID BETWEEN 10500001 AND 10520000"),
      20'000);
  ExpectConverged({1});
}

// The technician's console on a terminal, run from the server's own folder while the server runs
// (no single-copy rule, no database), with the key of the folder's [Klient] section.
class ConsoleTest : public SiteTest {
 protected:
  struct Run {
    int status = -1;
    std::string output;  // standard output and error
  };
  QProcess& StartConsole(const QStringList& arguments) {
    const QString address = "127.0.0.1:" + QString::number(port_);
    return server_->Start(QStringList{"--technician", address} + arguments);
  }
  Run Console(const QStringList& arguments) {
    QProcess& process = StartConsole(arguments);
    const bool ended =
        process.waitForFinished(15'000) && process.exitStatus() == QProcess::NormalExit;
    return {ended ? process.exitCode() : -1, process.readAll().toStdString()};
  }
  static bool WaitForOutput(QProcess& process, std::string& seen, const std::string& text) {
    while (seen.find(text) == std::string::npos) {
      if (!process.waitForReadyRead(10'000)) return false;
      seen += process.readAll().toStdString();
    }
    return true;
  }
};

TEST_F(ConsoleTest, CommandsAreAnsweredOnTheTerminalAndAWrongKeyIsRefused) {
  server_->WriteFile("Tramolin2.ini",
                     Configuration("main.fdb") + "[Tramolin]\r\nMode=1\r\n" +
                         "[Server]\r\nAccessKey=sezam\r\nPort=" + std::to_string(port_) +
                         "\r\n[Klient]\r\nAccessKey=sezam\r\n");
  StartServer();
  const struct {
    QStringList arguments;
    const char* line;
  } answered[] = {{{"1"}, "BAZA_VER_HIGH: 119"},
                  {{"2"}, "  typ: serwisant"},
                  {{"7", "SELECT 'ok' || 42 FROM RDB$DATABASE"}, "[RC=1] \"ok42\""}};
  for (const auto& command : answered) {
    const Run run = Console(command.arguments);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find(command.line), std::string::npos) << run.output;
  }
  const Run refused = Console({"1", "--key=klucz"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.output.find("odmówił logowania: błąd autoryzacji"), std::string::npos)
      << refused.output;

  // Listening prints the server's log lines (a message sent meanwhile) until SIGINT.
  QProcess& listening = StartConsole({"3"});
  std::string heard;
  ASSERT_TRUE(WaitForOutput(listening, heard, "Nasłuch włączony\n")) << heard;
  EXPECT_EQ(Console({"0", "Dzień dobry"}).status, 0);
  EXPECT_TRUE(WaitForOutput(listening, heard, " Serwer: [4] Dzień dobry\n")) << heard;
  ::kill(static_cast<pid_t>(listening.processId()), SIGINT);
  ASSERT_TRUE(listening.waitForFinished(5000));
  EXPECT_EQ(listening.exitCode(), 0);
}

// The status of the copies, asked of the server of the folder from its own [Server] settings:
// their backlogs counted on demand, and the exit status a monitoring tool alerts on.
TEST_F(ConsoleTest, StatusPrintsTheBacklogOfEveryCopyAndFailsBeyondALimit) {
  InsertDocuments(MainPath(), 1, 30);
  Exec(MainPath(), "DELETE FROM REPZMIANY WHERE IDREPKOPIE = 2 AND IDREKORDU <= 15");
  StartServer();
  const auto status = [this](const QStringList& arguments) {
    QProcess& process = server_->Start(QStringList{"--status"} + arguments);
    const bool ended =
        process.waitForFinished(15'000) && process.exitStatus() == QProcess::NormalExit;
    return Run{ended ? process.exitCode() : -1, process.readAll().toStdString()};
  };
  // The server's start journals a change of its own for every copy, beside the documents.
  const Run within = status({"--max-backlog=1000"});
  EXPECT_EQ(within.status, 0) << within.output;
  const auto backlog_of = [&within](const std::string& copy) {
    const std::string line = copy + ": zaległość ";
    const std::size_t at = within.output.find(line);
    return at == std::string::npos ? -1 : std::atoi(within.output.c_str() + at + line.size());
  };
  EXPECT_NE(within.output.find("ost. wymiana brak od startu serwera, cisza "), std::string::npos);
  EXPECT_NE(within.output.find(" s, niepołączona\nkopia 2 (Kopia nr 2)"), std::string::npos)
      << within.output;
  const int first = backlog_of("kopia 1 (Kopia nr 1)");
  EXPECT_EQ(backlog_of("kopia 2 (Kopia nr 2)"), first - 15) << within.output;
  EXPECT_GE(first, 30);
  const Run beyond = status({"--max-backlog=" + QString::number(first - 1), "--json"});
  EXPECT_EQ(beyond.status, 3) << beyond.output;
  EXPECT_NE(beyond.output.find("\"backlog\": " + std::to_string(first) + ","), std::string::npos)
      << beyond.output;
  EXPECT_NE(beyond.output.find("\"backlog_over_limit\": true"), std::string::npos);
  EXPECT_NE(Console({"2"}).output.find("  zaległość: " + std::to_string(first - 15)),
            std::string::npos);
}

// A copy made to differ from the main database behind replication's back (its journal entries
// removed) is found out by a check, mended by the next synchronisation after a repair, and then
// found equal.
TEST_F(ConsoleTest, ACheckFindsTheDifferencesTheRepairMendsThem) {
  for (const char* table : {"TOWARY", "KONTRAHENT"}) {
    for (int id = 1; id <= 3; ++id) {
      Exec(MainPath(), "INSERT INTO " + std::string(table) + " (ID, NAZWA) VALUES (" +
                           std::to_string(id) + ", 'nazwa')");
    }
  }
  StartServer();
  StartClient(1);
  ASSERT_TRUE(WaitForSyncs(1, 1)) << Client(1).ReadText("Tramolin2_debug.log");
  for (const char* table : {"TOWARY", "KONTRAHENT"}) {
    const std::string t(table);
    Exec(Copy(1), "EXECUTE BLOCK AS BEGIN DELETE FROM " + t + " WHERE ID = 1; UPDATE " + t +
                      " SET NAZWA = 'zmieniona' WHERE ID = 2; INSERT INTO " + t +
                      " (ID, NAZWA) VALUES (9, 'tylko w kopii'); DELETE FROM REPZMIANY; END");
  }
  // A copy in the middle of a cycle is busy, and a cycle that begins interrupts a check.
  const auto check = [this](const std::string& argument) {
    Run run;
    for (int attempt = 0; attempt < 20; ++attempt) {
      run = Console({"21", QString::fromStdString(argument)});
      if (run.output.find("zajęta") == std::string::npos &&
          run.output.find("przerwane") == std::string::npos) {
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return run;
  };
  for (const char* table : {"1;TOWARY;napraw", "1;KONTRAHENT;napraw"}) {
    const Run found = check(table);
    EXPECT_EQ(found.status, 0) << found.output;
    EXPECT_NE(found.output.find("tylko w bazie głównej: 1: 1\ntylko w kopii: 1: 9\nróżne: 1: 2\n"),
              std::string::npos)
        << found.output;
    EXPECT_NE(found.output.find("naprawa: 3 wpisów"), std::string::npos) << found.output;
  }
  ASSERT_TRUE(Wake(1));
  ASSERT_TRUE(Wake(1));
  for (const char* table : {"1;TOWARY", "1;KONTRAHENT"}) {
    const Run equal = check(table);
    EXPECT_NE(equal.output.find(": zakończone, równe\n"), std::string::npos) << equal.output;
  }
  server_.reset();
  clients_[0].reset();
  ExpectConverged({1});
}

// Two network namespaces joined by a veth pair (10.213.0.1 and 10.213.0.2): hosts whose link the
// test can cut without either end hearing of it. Needs root; Ready() is false where the machine
// does not allow it.
class VethLink {
 public:
  VethLink() : suffix_(std::to_string(::getpid())) {
    ready_ = Ip("netns add " + Host(1)) && Ip("netns add " + Host(2)) &&
             Ip("link add " + Device(1) + " type veth peer name " + Device(2));
    for (int n = 1; ready_ && n <= 2; ++n) {
      ready_ = Ip("link set " + Device(n) + " netns " + Host(n)) &&
               Ip("-n " + Host(n) + " addr add " + Address(n) + "/24 dev " + Device(n)) &&
               Ip("-n " + Host(n) + " link set " + Device(n) + " up") &&
               Ip("-n " + Host(n) + " link set lo up");
    }
  }
  ~VethLink() {
    Ip("netns del " + Host(1));
    Ip("netns del " + Host(2));
  }
  bool Ready() const { return ready_; }
  std::string Host(int n) const { return "tram" + std::to_string(n) + "_" + suffix_; }
  static std::string Address(int n) { return "10.213.0." + std::to_string(n); }
  // The link goes down on host 1's side: nothing passes any more, and nobody is told.
  bool Cut() { return Ip("-n " + Host(1) + " link set " + Device(1) + " down"); }

 private:
  std::string Device(int n) const { return "tv" + std::to_string(n) + "_" + suffix_; }
  static bool Ip(const std::string& arguments) {
    return std::system(("ip " + arguments + " >/dev/null 2>&1").c_str()) == 0;
  }

  std::string suffix_;
  bool ready_ = false;
};

// A link that dies without a word (a NAT that forgets the connection, a far end without power)
// ends on both sides within the keepalive's bound instead of the hour of the reply time-outs.
TEST_F(SiteTest, ALinkThatDiesSilentlyEndsOnBothSidesWithinTheKeepaliveBound) {
  VethLink link;
  if (::geteuid() != 0 || !link.Ready()) GTEST_SKIP() << "needs root and network namespaces";
  Client(1).WriteFile("Tramolin2.ini", Configuration("copy1.fdb") +
                                           "[Tramolin]\r\nMode=0\r\nInterwal=5\r\n[Klient]\r\n"
                                           "Host=" +
                                           VethLink::Address(2) +
                                           "\r\nPort=" + std::to_string(port_) + "\r\n");
  for (ProgramFolder* folder : {server_.get(), &Client(1)}) {
    folder->SetEnvironment("TRAMOLIN2_KEEPALIVE", "1,1,2");  // noticed within 3 s
  }
  server_->SetLauncher({"ip", "netns", "exec", QString::fromStdString(link.Host(2))});
  Client(1).SetLauncher({"ip", "netns", "exec", QString::fromStdString(link.Host(1))});
  StartServer();
  StartClient(1);
  ASSERT_TRUE(WaitForSyncs(1, 1)) << Client(1).ReadText("Tramolin2_debug.log");
  ASSERT_TRUE(link.Cut());
  EXPECT_TRUE(server_->WaitFor("Tramolin2_debug.log", "przerywa połączenie", 15'000))
      << server_->ReadText("Tramolin2_debug.log");
  EXPECT_TRUE(Client(1).WaitFor("Tramolin2_debug.log", "Rozłączono z serwerem", 15'000))
      << Client(1).ReadText("Tramolin2_debug.log");
}

}  // namespace
}  // namespace tramolin::testing
