// The database module on real databases: identity, version, copies, REPINFO, passwords,
// connection life (dead connections, the idle rule), the journal triggers, events, and one
// connection through a real server.
#include "engine/dmdb.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

#include "dmdb_test_access.h"
#include "engine/db_connection.h"
#include "engine/fb/error.h"
#include "engine/pass_dm.h"
#include "engine_fixture.h"
#include "event_collector.h"
#include "recording_host.h"
#include "util/cp1250.h"

namespace tramolin::testing {
namespace {

class DmdbTest : public EngineFixture {
 protected:
  std::unique_ptr<TDMDB> Module(const std::string& file, std::string server = "") {
    DatabaseSettings settings;
    settings.server = std::move(server);
    settings.directory = Dir().string();
    settings.file = file;
    return std::make_unique<TDMDB>(host_, host_, pass_dm_, settings);
  }
  std::string PathOf(const std::string& file) const { return (Dir() / file).string(); }

  RecordingHost host_;
  TPassDM pass_dm_;
};

TEST_F(DmdbTest, ReadsTheIdentityOfTheMainDatabaseAndOfACopy) {
  auto main = Module("main.fdb");
  ASSERT_TRUE(main->ConnectDatabase());
  const DatabaseIdentity identity = main->ReadIdentity();
  EXPECT_EQ(identity.id, 4711);
  EXPECT_EQ(identity.type, 0);
  EXPECT_EQ(identity.number, 0);
  EXPECT_EQ(identity.version, "119.3");
  EXPECT_FALSE(Internals(*main).IBTTool().Active());

  auto copy = Module("copy2.fdb");
  ASSERT_TRUE(copy->ConnectDatabase());
  const DatabaseIdentity copy_identity = copy->ReadIdentity();
  EXPECT_EQ(copy_identity.id, 4711);
  EXPECT_EQ(copy_identity.type, 2);
  EXPECT_EQ(copy_identity.number, 2);
}

TEST_F(DmdbTest, ConnectingLogsTheConnectionStringAndStopsTheIdleTimer) {
  auto module = Module("main.fdb");
  ASSERT_TRUE(module->ConnectDatabase());
  EXPECT_EQ(module->ConnectionString(), PathOf("main.fdb"));  // no server: no ":" in front
  ASSERT_GE(host_.lines.size(), 2u);
  EXPECT_EQ(host_.lines[0].text, "Łączenie z bazą danych "_cp.data() + PathOf("main.fdb") + " ...");
  EXPECT_EQ(host_.lines[0].level, kLogProgress);
  EXPECT_EQ(host_.lines[1].text, "Połączono z bazą danych "_cp.data() + PathOf("main.fdb"));
  EXPECT_TRUE(module->ConnectDatabase());  // alive: nothing more logged
  EXPECT_EQ(host_.CountLines("Łączenie"_cp), 1);
  EXPECT_EQ(host_.connect_calls, 2);
}

TEST_F(DmdbTest, AFailedConnectLeavesTheDatabaseErrorForTheCaller) {
  auto module = Module("missing.fdb");
  EXPECT_FALSE(module->ConnectDatabase());
  EXPECT_NE(host_.GetErrorText(-1).find("missing.fdb"), std::string::npos);
  EXPECT_EQ(host_.CountLines("Połączono"_cp), 0);
  EXPECT_EQ(module->GetDatabaseVersion(), "");
  std::string description = "old";
  EXPECT_FALSE(module->ReadCopyDescription(description, 1));
  EXPECT_EQ(description, "");
}

TEST_F(DmdbTest, ResettingTheVersionGeneratorsGivesZeroDotZero) {
  auto module = Module("copy1.fdb");
  ASSERT_TRUE(module->ConnectDatabase());
  module->ResetVersionGenerators();
  EXPECT_EQ(module->GetDatabaseVersion(), "0.0");
  EXPECT_FALSE(Internals(*module).IBTResetDBVer().Active());
}

TEST_F(DmdbTest, CopyDescriptionsComeFromTheListOfCopies) {
  auto module = Module("main.fdb");
  std::string description;
  EXPECT_TRUE(module->ReadCopyDescription(description, 2));
  EXPECT_EQ(description, "Kopia nr 2");
  EXPECT_FALSE(module->ReadCopyDescription(description, 9));
  EXPECT_EQ(description, "");
  EXPECT_FALSE(Internals(*module).IBTTool().Active());
}

TEST_F(DmdbTest, TheActivityRowIsWrittenTouchedAndClosed) {
  auto module = Module("copy1.fdb");
  host_.server_mode = false;
  module->TouchActivity();  // no row yet: changes nothing
  ASSERT_TRUE(module->ConnectDatabase());
  module->WriteActivityJournal(module->ReadIdentity());
  const int id = module->RepInfoId();
  EXPECT_GT(id, 10500000);  // from the copy's own range
  host_.now = 45124.25;
  module->TouchActivity();
  host_.now = 45125.0;
  module.reset();  // closing the module records the end

  const std::string row = "FROM REPINFO WHERE ID = " + std::to_string(id);
  EXPECT_EQ(QueryInt(CopyPath(1), "SELECT COUNT(*) FROM REPINFO"), 1);
  EXPECT_EQ(Query(CopyPath(1), "SELECT TRYBPRACY " + row), "0");
  EXPECT_EQ(Query(CopyPath(1), "SELECT IDREPKOPIE " + row), "1");
  EXPECT_TRUE(Query(CopyPath(1), "SELECT INFO " + row).starts_with("4711;1;119.3;"));
  EXPECT_EQ(Query(CopyPath(1), "SELECT DATASTART - CAST('30.12.1899' AS DATE) " + row), "45123.5");
  EXPECT_EQ(Query(CopyPath(1), "SELECT DATAAKTYW - CAST('30.12.1899' AS DATE) " + row), "45125");
  EXPECT_EQ(Query(CopyPath(1), "SELECT DATAKONIEC - CAST('30.12.1899' AS DATE) " + row), "45125");
}

TEST_F(DmdbTest, WithoutItsActivityRowTheModuleOpensNoConnectionForIt) {
  auto module = Module("missing.fdb");  // a technician's console has no database
  module->TouchActivity();
  module.reset();
  EXPECT_TRUE(host_.lines.empty());
}

TEST_F(DmdbTest, TouchingKeepsTheEndOpen) {
  auto module = Module("main.fdb");
  ASSERT_TRUE(module->ConnectDatabase());
  module->WriteActivityJournal(module->ReadIdentity());
  module->TouchActivity();
  EXPECT_EQ(Query(MainPath(), "SELECT COUNT(*) FROM REPINFO WHERE DATAKONIEC IS NULL"), "1");
  EXPECT_EQ(Query(MainPath(), "SELECT TRYBPRACY FROM REPINFO"), "1");
}

TEST_F(DmdbTest, ADeadConnectionIsDetectedAndOpenedAgain) {
  auto module = Module("main.fdb");
  ASSERT_TRUE(module->ConnectDatabase());
  fb::Statement own(Internals(*module).IBTTool(), "SELECT CURRENT_CONNECTION FROM RDB$DATABASE");
  Internals(*module).IBTTool().Start();
  std::string connection;
  {
    fb::ResultSet row = own.Open();
    ASSERT_TRUE(row.Next());
    connection = row.GetString(0);
  }
  Exec(MainPath(), "DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = " + connection);
  EXPECT_TRUE(module->ConnectDatabase());
  EXPECT_EQ(host_.CountLines("Połączono"_cp), 2);
  EXPECT_FALSE(Internals(*module).IBTTool().Active());  // dropped with the dead connection
  EXPECT_EQ(module->GetDatabaseVersion(), "119.3");
}

TEST_F(DmdbTest, TheIdleRuleLeavesAConnectionWithAnActiveTransactionOpen) {
  auto module = Module("main.fdb");
  ASSERT_TRUE(module->ConnectDatabase());
  Internals(*module).IBTGetData().Start();
  module->DisconnectDatabase(false);
  EXPECT_TRUE(Internals(*module).DB().IsOpen());
  EXPECT_EQ(host_.CountLines("Rozłączanie"_cp), 0);
  Internals(*module).IBTGetData().Commit();
  module->DisconnectDatabase(false);
  EXPECT_FALSE(Internals(*module).DB().IsOpen());
  EXPECT_EQ(host_.lines.back().text,
            "Rozłączanie z bazą danych "_cp.data() + PathOf("main.fdb") + " ...");
}

TEST_F(DmdbTest, AForcedDisconnectClosesDespiteAnActiveTransactionAndRollsItBack) {
  auto module = Module("main.fdb");
  ASSERT_TRUE(module->ConnectDatabase());
  Internals(*module).IBTSetData().Start();
  fb::Statement insert(Internals(*module).IBTSetData(), "INSERT INTO SLOWNIK (ID) VALUES (1)");
  insert.Execute();
  module->DisconnectDatabase(true);
  EXPECT_FALSE(Internals(*module).DB().IsOpen());
  EXPECT_EQ(QueryInt(MainPath(), "SELECT COUNT(*) FROM SLOWNIK"), 0);
}

struct JournalRow {
  int copy, table, type, priority, transaction;
};

std::vector<JournalRow> Journal(const std::string& database) {
  TestConnection db(database);
  db.transaction.Start();
  fb::Statement select(db.transaction,
                       "SELECT IDREPKOPIE, IDTABELI, TYPZMIANY, PRIORYTET, IDTRANSAKCJI "
                       "FROM REPZMIANY ORDER BY ID");
  fb::ResultSet rows = select.Open();
  std::vector<JournalRow> journal;
  while (rows.Next()) {
    journal.push_back({static_cast<int>(rows.GetInt(0)), static_cast<int>(rows.GetInt(1)),
                       static_cast<int>(rows.GetInt(2)), static_cast<int>(rows.GetInt(3)),
                       static_cast<int>(rows.GetInt(4))});
  }
  return journal;
}

class JournalTest : public DmdbTest {
 protected:
  // Inserts, updates and deletes one TOWARY record; returns its id.
  long long InsertUpdateDelete(const std::string& database) {
    Exec(database, "INSERT INTO TOWARY (NAZWA, CENA) VALUES ('Śruba', 12.5)");
    const long long id = QueryInt(database, "SELECT MAX(ID) FROM TOWARY");
    Exec(database, "UPDATE TOWARY SET CENA = 13 WHERE ID = " + std::to_string(id));
    Exec(database, "DELETE FROM TOWARY WHERE ID = " + std::to_string(id));
    return id;
  }
};

TEST_F(JournalTest, TheMainDatabaseJournalsEachChangeForEveryCopy) {
  InsertUpdateDelete(MainPath());
  const std::vector<JournalRow> journal = Journal(MainPath());
  ASSERT_EQ(journal.size(), 6u);
  for (std::size_t i = 0; i < journal.size(); ++i) {
    EXPECT_EQ(journal[i].copy, static_cast<int>(i % 2) + 1);
    EXPECT_EQ(journal[i].type, static_cast<int>(i / 2));
    EXPECT_EQ(journal[i].table, 29);
    EXPECT_EQ(journal[i].priority, 7);
    EXPECT_EQ(journal[i].transaction, 0);
  }
  EXPECT_EQ(QueryInt(MainPath(),
                     "SELECT COUNT(*) FROM REPZMIANY A JOIN REPZMIANY B ON B.ID = A.ID + 1 "
                     "WHERE A.IDREKORDU <> B.IDREKORDU"),
            0);
}

TEST_F(JournalTest, ACopyJournalsEachChangeOnceForTheMainDatabaseWithIdsOfItsOwnRange) {
  const long long id = InsertUpdateDelete(CopyPath(1));
  EXPECT_EQ((id - 10000001) / 500000, 1);  // the copy's number
  const std::vector<JournalRow> journal = Journal(CopyPath(1));
  ASSERT_EQ(journal.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(journal[i].copy, 0);
    EXPECT_EQ(journal[i].type, i);
  }
  EXPECT_LE(InsertUpdateDelete(MainPath()), 10500000);  // the main database's range
}

TEST_F(JournalTest, TablesHaveTheirOwnPriorityAndKeyColumn) {
  Exec(MainPath(), "INSERT INTO BLOKADY (IDSESJI, TYPOBIEKTU, IDOBIEKTU) VALUES (1, 42, 7)");
  Exec(MainPath(), "INSERT INTO SLOWNIK (NAZWA) VALUES ('x')");
  const std::vector<JournalRow> journal = Journal(MainPath());
  ASSERT_EQ(journal.size(), 4u);
  EXPECT_EQ(journal[0].table, 53);
  EXPECT_EQ(journal[2].table, 28);
  EXPECT_LT(journal[0].priority, journal[2].priority);
}

TEST_F(DmdbTest, DatabaseEventsReachTheHandlerAlsoAfterAReconnect) {
  EventCollector events;
  auto module = Module("copy1.fdb");
  module->SetEventHandler(
      [&](const std::string& name, unsigned count) { events.Add(name, count); });
  ASSERT_TRUE(module->ConnectDatabase());
  Exec(CopyPath(1), "INSERT INTO REPDIALOG (STATUS, TYP) VALUES (0, 4)");
  EXPECT_EQ(events.WaitFor("REPDIALOGINSERT", 1), 1u);
  module->DisconnectDatabase(true);
  ASSERT_TRUE(module->ConnectDatabase());
  Exec(CopyPath(1), "EXECUTE PROCEDURE POST_DBUPGRADE");
  EXPECT_EQ(events.WaitFor("DBUPGRADE", 1), 1u);
}

TEST_F(DmdbTest, InitConnectionRegistersTheApplicationAndHandsBackItsMessage) {
  auto module = Module("main.fdb");
  ASSERT_TRUE(module->ConnectDatabase());
  EXPECT_EQ(module->InitConnection("O'Brien test"), "");
  Internals(*module).IBTTool().Start();
  Internals(*module).IBQTool().SetSql(
      "SELECT RDB$GET_CONTEXT('USER_SESSION', 'APPLICATION') FROM RDB$DATABASE");
  {
    fb::ResultSet row = Internals(*module).IBQTool().Open();
    ASSERT_TRUE(row.Next());
    EXPECT_EQ(row.GetString(0), "O'Brien test");
  }
  Internals(*module).IBTTool().Commit();
  Exec(MainPath(),
       "INSERT INTO PARAMETRY (NAME, WARTSTRING) VALUES ('C_REP_INITCONNECTION_MESSAGE', 'Uwaga')");
  EXPECT_EQ(module->InitConnection("VELMO REP - TEST"), "Uwaga");
}

TEST(InitConnectionSqlTest, TextsAreCutAndQuotedAsLiterals) {
  EXPECT_EQ(InitConnectionSql("2.0.0.1", "PC-1", "a'b"),
            "SELECT ORESULT, OMESSAGE FROM SP_INITCONNECTION('2.0.0.1','PC-1','a''b',0)");
  const std::string sql = InitConnectionSql(std::string(40, '9'), std::string(90, 'c'), "x");
  EXPECT_NE(sql.find("'" + std::string(30, '9') + "'"), std::string::npos);
  EXPECT_NE(sql.find("'" + std::string(80, 'c') + "'"), std::string::npos);
}

TEST(SetCredentialsTest, LoginLinesAreReplacedWhateverTheirCase) {
  EXPECT_EQ(SetCredentials("USER_NAME=a\r\nlc_ctype=WIN1250\r\nmy_Password_x=1\r\n", "sysdba", "p"),
            "lc_ctype=WIN1250\r\nuser_name=sysdba\r\npassword=p\r\n");
  EXPECT_EQ(SetCredentials("", "u", ""), "user_name=u\r\npassword=\r\n");
}

TEST(PassConnectionStringTest, AColonInTheServerIsKeptAndAnEmptyServerMeansEmbedded) {
  EXPECT_EQ(PassConnectionString("srv", "/db/x.fdb"), "srv:/db/x.fdb");
  EXPECT_EQ(PassConnectionString("srv:", "C:\\Bazy\\x.fdb"), "srv:C:\\Bazy\\x.fdb");
  EXPECT_EQ(PassConnectionString("", "/db/x.fdb"), "/db/x.fdb");
}

class PasswordTest : public DmdbTest {
 protected:
  void SetStoredPassword(const std::string& value) {
    Exec(MainPath(), "UPDATE PARAMETRY SET WARTSTRING = '" + value +
                         "' WHERE NAME = 'C_KNF_SYSDBA_PASSWORD' AND IDREPKOPIE = 0");
  }
  bool Read(TPassDM& pass_dm) { return pass_dm.ReadPassword("", MainPath()); }
};

TEST_F(PasswordTest, TheStoredPasswordOfTheDatabasesOwnNumberIsReadOncePerRun) {
  SetStoredPassword("tajne");
  TPassDM pass_dm;
  ASSERT_TRUE(Read(pass_dm)) << pass_dm.LastError();
  EXPECT_EQ(pass_dm.Password(), "tajne");
  SetStoredPassword("inne");
  EXPECT_TRUE(Read(pass_dm));
  EXPECT_EQ(pass_dm.Password(), "tajne");
}

TEST_F(PasswordTest, BlankOrMissingPasswordGivesTheDefault) {
  SetStoredPassword("   ");
  TPassDM blank;
  ASSERT_TRUE(Read(blank));
  EXPECT_EQ(blank.Password(), "sandorift");
  Exec(MainPath(), "DELETE FROM PARAMETRY WHERE NAME = 'C_KNF_SYSDBA_PASSWORD'");
  TPassDM missing;
  ASSERT_TRUE(Read(missing));
  EXPECT_EQ(missing.Password(), "sandorift");
}

TEST_F(PasswordTest, AnUnreadablePasswordIsForgottenWithItsReason) {
  TPassDM pass_dm;
  EXPECT_FALSE(pass_dm.ReadPassword("", PathOf("missing.fdb")));
  EXPECT_EQ(pass_dm.Password(), "");
  EXPECT_NE(pass_dm.LastError().find("missing.fdb"), std::string::npos);
  ASSERT_TRUE(Read(pass_dm));  // a later success is still possible
}

TEST_F(PasswordTest, TheModuleLogsInWithThePasswordItRead) {
  SetStoredPassword("tajne");
  auto module = Module("main.fdb");
  ASSERT_TRUE(module->ConnectDatabase());
  EXPECT_EQ(module->Settings().password, "tajne");
}

// Through the private server that scripts/test.sh starts (TRAMOLIN_FB_SERVER=127.0.0.1/port).
TEST_F(DmdbTest, ThroughARealServerTheModuleConnectsAndTheServerVersionIsRead) {
  const char* server = std::getenv("TRAMOLIN_FB_SERVER");
  const char* password = std::getenv("TRAMOLIN_FB_PASSWORD");
  if (server == nullptr || password == nullptr) {
    GTEST_SKIP() << "no private Firebird server (run scripts/firebird-server.sh start <dir>)";
  }
  Exec(MainPath(), std::string("UPDATE PARAMETRY SET WARTSTRING = '") + password +
                       "' WHERE NAME = 'C_KNF_SYSDBA_PASSWORD'");
  auto module = Module("main.fdb", server);
  ASSERT_TRUE(module->ConnectDatabase()) << host_.GetErrorText(-1);
  EXPECT_EQ(module->ConnectionString(), std::string(server) + ":" + PathOf("main.fdb"));
  EXPECT_EQ(module->Settings().password, password);  // read by the PLANER login over the network
  EXPECT_EQ(module->ReadIdentity().version, "119.3");
  module.reset();

  const std::optional<std::string> version = QueryServerVersion(server, "SYSDBA", password);
  ASSERT_TRUE(version.has_value());
  EXPECT_NE(version->find("Firebird 3.0"), std::string::npos) << *version;
  EXPECT_FALSE(QueryServerVersion(server, "SYSDBA", "wrong-password").has_value());
}

}  // namespace
}  // namespace tramolin::testing
