// A real client against a real server, each on its own database: changes made on both sides meet
// in one synchronisation, conflicts go the main database's way, a user's lock holds the cycle,
// the connection comes back after the server drops it or announces an upgrade, and a refused
// verification ends it (for a copy the server does not list, with its version set back).
#include <gtest/gtest.h>

#include <QTcpServer>
#include <algorithm>

#include "client_harness.h"
#include "util/text_rules.h"

namespace tramolin::testing {
namespace {

class SynchronisationTest : public ClientServerFixture, public ::testing::WithParamInterface<bool> {
 protected:
  // Inserts, updates and deletes on both sides across several tables: texts with ";" and Polish
  // letters, a BLOB with NUL bytes, DOUBLE, NUMERIC and timestamps.
  void MakeChanges() {
    RunAll(MainPath(),
           {"INSERT INTO DOKUMENTY (ID, NAZWA, ILOSC, WARTOSC, DATA, DANE, DATAUTW) VALUES (1, "
            "'Zażółć; gęślą', 12.5, -1.5E-6, '2024-02-29', ASCII_CHAR(0) || 'bin' || "
            "ASCII_CHAR(0), '2024-02-29 23:59:59.999')"_cp,
            "INSERT INTO DOKUMENTY (ID, NAZWA) VALUES (2, 'do zmiany')",
            "INSERT INTO DOKUMENTY (ID, NAZWA) VALUES (3, 'do usunięcia')"_cp,
            "INSERT INTO TOWARY (ID, NAZWA, CENA, RABAT, CENANETTO, ILOSCMIN) VALUES (10, "
            "'Śruba', 12.5, 12.34, 1234567.89, 5)"_cp,
            "INSERT INTO FAKHEAD (ID, NAZWA, SYMBOL, WARTOSC) VALUES (20, 'FV', 'FV/1', 1E20)",
            "UPDATE DOKUMENTY SET NAZWA = 'zmieniony' WHERE ID = 2",
            "DELETE FROM DOKUMENTY WHERE ID = 3"});
    RunAll(
        CopyPath(1),
        {"INSERT INTO DOKUMENTY (ID, NAZWA, WARTOSC) VALUES (10500001, 'z kopii; łódź', 2.75)"_cp,
         "INSERT INTO URZADZENIA (ID, IDURZADZENIADANE, NAZWA) VALUES (10500002, 31, 'Kocioł')"_cp,
         "INSERT INTO TOWARY (ID, NAZWA, CENANETTO) VALUES (10500003, 'Nit', 0.01)"});
    // Records the size of a batch each: the copy's batches leave prepared ahead.
    RunAll(CopyPath(1), {"EXECUTE BLOCK AS DECLARE I INTEGER = 0; DECLARE B BLOB SUB_TYPE 0 = ''; "
                         "BEGIN WHILE (I < 20) DO BEGIN B = B || LPAD('', 32000, 'x'); I = I + 1; "
                         "END WHILE (I < 24) DO BEGIN INSERT INTO DOKUMENTY (ID, NAZWA, DANE) "
                         "VALUES (10500000 + ::I, 'duży', ::B); I = I + 1; END END"_cp});
  }
};

TEST_P(SynchronisationTest, OneSynchronisationLeavesEqualTablesAndEmptyJournals) {
  Configure([](ClientSettings& s) { s.send_new_data_first = GetParam(); });
  client_.Credentials().send_new_data_first = GetParam();
  MakeChanges();
  ASSERT_TRUE(Synchronise());
  ExpectConverged();
  EXPECT_EQ(Query(CopyPath(1), "SELECT NAZWA FROM DOKUMENTY WHERE ID = 1"), "Zażółć; gęślą"_cp);
  EXPECT_EQ(Query(MainPath(), "SELECT NAZWA FROM DOKUMENTY WHERE ID = 10500001"),
            "z kopii; łódź"_cp);
  EXPECT_EQ(std::count_if(client_host_.lines.begin(), client_host_.lines.end(),
                          [](const LogLine& line) { return line.text == "Brak zmian"; }),
            1)
      << "one cycle found nothing";
  EXPECT_EQ(client_.ActivityState(), kClientLoggedIn);
  EXPECT_EQ(held_back_, 0);
}

INSTANTIATE_TEST_SUITE_P(Order, SynchronisationTest, ::testing::Values(false, true),
                         [](const auto& test) {
                           return test.param ? std::string("NewDataFirst")
                                             : std::string("ServerFirst");
                         });

TEST_F(ClientServerFixture, AConflictGoesTheMainDatabasesWayAndIsJournalledOnTheCopy) {
  RunAll(MainPath(), {"INSERT INTO DOKUMENTY (ID, NAZWA) VALUES (5, 'wspólny')"_cp});
  ASSERT_TRUE(Synchronise());
  RunAll(MainPath(), {"UPDATE DOKUMENTY SET NAZWA = 'z centrali' WHERE ID = 5"});
  RunAll(CopyPath(1), {"UPDATE DOKUMENTY SET NAZWA = 'z oddziału' WHERE ID = 5"_cp});
  ASSERT_TRUE(Synchronise());
  ExpectConverged();
  EXPECT_EQ(Query(CopyPath(1), "SELECT NAZWA FROM DOKUMENTY WHERE ID = 5"), "z centrali");
  EXPECT_EQ(QueryInt(CopyPath(1), "SELECT COUNT(*) FROM REPKONFLHEAD"), 1);
}

TEST_F(ClientServerFixture, AUsersLockHoldsTheCycleUntilItIsReleased) {
  RunAll(MainPath(), {"INSERT INTO DOKUMENTY (ID, NAZWA) VALUES (400, 'x')"});
  ASSERT_TRUE(Synchronise());
  RunAll(CopyPath(1),
         {"INSERT INTO SESJE (ID, AKTYWNA) VALUES (1, CURRENT_TIMESTAMP)",
          "INSERT INTO BLOKADY (IDBLOKADY, IDSESJI, TYPOBIEKTU, IDOBIEKTU) VALUES (10600000, 1, 1, "
          "400)",
          "DELETE FROM REPZMIANY"});
  RunAll(MainPath(), {"UPDATE DOKUMENTY SET NAZWA = 'y' WHERE ID = 400"});
  client_.SyncSoon();
  ASSERT_TRUE(RunUntil([&] { return held_back_ == 1; }, 20'000));
  EXPECT_EQ(client_.ActivityState(), kClientLoggedIn);
  EXPECT_TRUE(client_.tmrKReplikuj.isActive());
  EXPECT_EQ(Query(CopyPath(1), "SELECT NAZWA FROM DOKUMENTY WHERE ID = 400"), "x");
  EXPECT_EQ(Journal(1), 1) << "the held change waits on the server";

  RunAll(CopyPath(1), {"DELETE FROM BLOKADY", "DELETE FROM SESJE", "DELETE FROM REPZMIANY"});
  ASSERT_TRUE(Synchronise());
  EXPECT_EQ(Query(CopyPath(1), "SELECT NAZWA FROM DOKUMENTY WHERE ID = 400"), "y");
  EXPECT_EQ(Journal(1), 0);
}

TEST_F(ClientServerFixture, AfterTheServerDropsTheConnectionTheClientComesBack) {
  ASSERT_TRUE(Synchronise());
  server_.CloseSlot(0, true);
  ASSERT_TRUE(WaitForLine("Rozłączono z serwerem (127.0.0.1, "_cp));
  EXPECT_EQ(client_.ActivityState(), kClientDisconnected);
  EXPECT_EQ(Lines("Następna próba połączenia za: 00:01:00"_cp), 1);
  EXPECT_EQ(client_.tmrKConnect.interval(), 60'000);
  RunAll(MainPath(), {"INSERT INTO DOKUMENTY (ID, NAZWA) VALUES (7, 'po powrocie')"});
  ASSERT_TRUE(Synchronise());
  ExpectConverged();
}

TEST_F(ClientServerFixture, OnDemandTheConnectionEndsAfterTheCycle) {
  Configure([](ClientSettings& s) { s.on_demand = true; });
  RunAll(MainPath(), {"INSERT INTO DOKUMENTY (ID, NAZWA) VALUES (8, 'na żądanie')"_cp});
  client_.Link().tmrKConnectTimer();
  ASSERT_TRUE(WaitForLine("Rozłączono z serwerem"_cp));
  ExpectConverged();
  EXPECT_EQ(client_.ActivityState(), kClientDisconnected);
  EXPECT_FALSE(client_.tmrKConnect.isActive());
  EXPECT_EQ(Lines("Następna próba połączenia za: "_cp), 0);
}

TEST_F(ClientServerFixture, AnUpgradeOfTheMainDatabaseDisconnectsTheClient) {
  ASSERT_TRUE(Synchronise());
  server_.AnnounceDatabaseUpgrade();
  ASSERT_TRUE(
      WaitForLine("Aktualizacja struktury głównej bazy danych. Rozłączanie z serwerem."_cp));
  EXPECT_EQ(client_.ActivityState(), kClientDisconnected);
  EXPECT_EQ(client_.tmrKConnect.interval(), 60'000);
}

TEST_F(ClientServerFixture, ARefusedVerificationDisconnectsWithTheServersReason) {
  client_.Credentials().database_id += 1;
  client_.Link().tmrKConnectTimer();
  ASSERT_TRUE(WaitForLine("Weryfikacja zakończona niepowodzeniem: "_cp));
  EXPECT_EQ(Lines(Concat({"Weryfikacja zakończona niepowodzeniem: \""_cp,
                          VerificationResultText(kVerificationOtherDatabase), "\""})),
            1);
  EXPECT_TRUE(WaitForState(kClientDisconnected));

  // A copy the server does not list sets its structure version back to 0.0.
  const std::string version =
      "SELECT GEN_ID(BAZA_MAJOR, 0) || '.' || GEN_ID(BAZA_MINOR, 0) FROM RDB$DATABASE";
  EXPECT_NE(Query(CopyPath(1), version), "0.0");
  client_.Credentials().database_id -= 1;
  client_.Credentials().copy_number = 9;
  client_.Link().tmrKConnectTimer();
  ASSERT_TRUE(WaitForLine(Concat({"Weryfikacja zakończona niepowodzeniem: \""_cp,
                                  VerificationResultText(kVerificationNotActiveCopy), "\""})));
  EXPECT_TRUE(WaitForState(kClientDisconnected));
  EXPECT_EQ(Query(CopyPath(1), version), "0.0");
}

// Columns only the copy has (a newer minor structure, or one schema adaptation added here first)
// keep their values when a complete update arrives and take their defaults on an insert, while a
// value the main database cleared is cleared here too.
TEST_F(ClientServerFixture, AColumnOnlyTheCopyHasIsKeptAndAClearedValueTravels) {
  RunAll(CopyPath(1), {"ALTER TABLE TOWARY ADD KOLOR VARCHAR(10) DEFAULT 'zielony'",
                       "ALTER TABLE TOWARY ADD EXTRA INTEGER DEFAULT 7 NOT NULL"});
  RunAll(MainPath(), {"INSERT INTO TOWARY (ID, NAZWA, OPIS) VALUES (10, 'Sruba', 'opis')"});
  ASSERT_TRUE(Synchronise());
  RunAll(CopyPath(1), {"UPDATE TOWARY SET KOLOR = 'czerwony' WHERE ID = 10"});
  RunAll(MainPath(), {"UPDATE TOWARY SET NAZWA = 'Wkret', OPIS = NULL WHERE ID = 10",
                      "INSERT INTO TOWARY (ID, NAZWA) VALUES (11, 'Nowy')"});
  ASSERT_TRUE(Synchronise());
  EXPECT_EQ(Query(CopyPath(1),
                  "SELECT NAZWA || '|' || COALESCE(OPIS, '<NULL>') || '|' || KOLOR "
                  "FROM TOWARY WHERE ID = 10"),
            "Wkret|<NULL>|czerwony");
  EXPECT_EQ(Query(CopyPath(1), "SELECT EXTRA || KOLOR FROM TOWARY WHERE ID = 11"), "7zielony");
}

// A server that answers the bare "0" (as every other server does) gets no explicit NULL, and its
// batches' absent columns stay as they are; the agreement is made again on every connection.
TEST_F(ClientServerFixture, AgainstAServerThatDidNotAgreeAbsentColumnsStayAndNullsAreLeftOut) {
  QTcpServer plain_server;
  ASSERT_TRUE(plain_server.listen(QHostAddress::LocalHost, 0));
  Configure([&](ClientSettings& s) { s.addresses.port = plain_server.serverPort(); });
  RunAll(CopyPath(1), {"INSERT INTO TOWARY (ID, NAZWA, OPIS) VALUES (10, 'Sruba', 'opis')"});
  for (const std::string_view answer : {"0", "0;nulls"}) {
    client_.Link().tmrKConnectTimer();
    ASSERT_TRUE(RunUntil([&] { return plain_server.hasPendingConnections(); }));
    PacketConnection peer(std::unique_ptr<QTcpSocket>(plain_server.nextPendingConnection()));
    std::vector<Packet> received;
    QObject::connect(&peer, &PacketConnection::packetReceived,
                     [&](std::uint8_t type, const std::string& payload) {
                       received.push_back({type, payload});
                     });
    auto next = [&](std::size_t count) {
      return RunUntil([&] { return received.size() >= count; });
    };
    peer.SendFrame(BuildPacket(pkPolaczenie, "0", false));
    ASSERT_TRUE(next(1));
    EXPECT_TRUE(received[0].payload.ends_with(";nulls,check;")) << "ours lists what it supports";
    peer.SendFrame(BuildPacket(pkWeryfikacja, answer, false));
    ASSERT_TRUE(next(2));  // ready for the server's changes
    peer.SendFrame(
        BuildPacket(pkZmiany, BuildChangeBatch(1, 1, "10;29;1;2;ID;1;10;NAZWA;0;5;Wkret;"), false));
    ASSERT_TRUE(next(3));
    EXPECT_EQ(received[2].type, pkPotwierdzenie);
    peer.SendFrame(BuildPacket(pkZmiany, BuildChangeBatch(0, 0, ""), false));
    ASSERT_TRUE(next(4));
    EXPECT_EQ(received[3].payload.find("VOLDBLB;5;") != std::string::npos, answer != "0")
        << received[3].payload;
    peer.Abort();
    ASSERT_TRUE(WaitForState(kClientDisconnected));
  }
  EXPECT_EQ(Query(CopyPath(1), "SELECT NAZWA || '|' || OPIS FROM TOWARY WHERE ID = 10"),
            "Wkret|opis");
}

}  // namespace
}  // namespace tramolin::testing
