// The exchange with a real server on a real main database: the verification of every kind of
// client, the reconnect takeover, the access key, the batches both ways with their confirmations,
// and packets that a slot may not send yet.
#include <gtest/gtest.h>

#include "engine/fb/statement.h"
#include "protocol/consistency_payloads.h"
#include "server_harness.h"
#include "util/cp1250.h"
#include "util/text_rules.h"

namespace tramolin::testing {
namespace {

struct VerificationCase {
  const char* name;
  std::function<void(TAUTHData&)> change;
  int expected;
};

class VerificationTest : public ServerFixture,
                         public ::testing::WithParamInterface<VerificationCase> {};

TEST_P(VerificationTest, ClientGetsTheCodeOfTheFirstFailingCheck) {
  const VerificationCase& c = GetParam();
  TAUTHData auth = GoodAuth();
  c.change(auth);
  ScriptedClient& client = Connect();
  EXPECT_EQ(LogIn(client, auth), c.expected);
  if (c.expected == kVerificationOk) {
    ASSERT_EQ(server_.SlotCount(), 1U);
    EXPECT_EQ(server_.SessionAt(0)->Slot().Status, SlotStatus::kLoggedIn);
    return;
  }
  EXPECT_TRUE(client.WaitClosed());
  EXPECT_TRUE(!server_.HasClients());
  EXPECT_EQ(host_.CountLines(
                Concat({"Odrzucenie połączenia: \""_cp, VerificationResultText(c.expected), "\""})),
            1);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, VerificationTest,
    ::testing::Values(
        VerificationCase{"Matching", [](TAUTHData&) {}, 0},
        VerificationCase{"OtherDatabase", [](TAUTHData& a) { a.DBID += 1; }, 3},
        VerificationCase{"NoSuchCopy", [](TAUTHData& a) { a.DBNR = 9; }, 6},
        VerificationCase{"OtherMajorStructure", [](TAUTHData& a) { a.DBVer = "118.9"; }, 7},
        VerificationCase{"OtherMinorStructurePasses", [](TAUTHData& a) { a.DBVer = "119.0"; }, 0},
        VerificationCase{"OtherProgramVersion", [](TAUTHData& a) { a.RepVer = "2.1.6.100"; }, 8},
        VerificationCase{"OtherSupportedStructure", [](TAUTHData& a) { a.BAZA_VER_HIGH = "120"; },
                         11},
        VerificationCase{"TechnicianSkipsTheDatabase",
                         [](TAUTHData& a) {
                           a.Serwisant = true;
                           a.DBNR = 77;
                           a.DBID = 1;
                           a.RepVer = "9.9.9.9";
                         },
                         0}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(ServerFixture, ServerStructureNewerThanTheProgramGivesTen) {
  Exec(MainPath(), "SET GENERATOR BAZA_MAJOR TO 120");
  ScriptedClient& client = Connect();
  EXPECT_EQ(LogIn(client, GoodAuth()), kVerificationMainStructureTooNew);
  EXPECT_EQ(host_.CountLines("Niezgodna główna wersja struktury bazy danych (oczekiwana: 119.XX, "
                             "zastana: 120."_cp),
            1);
}

TEST_F(ServerFixture, ServerWithoutItsDatabaseGivesTwo) {
  WorkerDatabase missing = WorkerDatabaseLike(*data_);
  missing.settings.file = "missing.fdb";
  server_.SetWorkerDatabase(missing);
  ScriptedClient& client = Connect();
  EXPECT_EQ(LogIn(client, GoodAuth()), kVerificationNoServerDatabase);
}

TEST_F(ServerFixture, TechnicianSlotShowsItsRoleAndKeepsNoCopyNumber) {
  TAUTHData auth = GoodAuth();
  auth.Serwisant = true;
  LoggedIn(auth);
  ASSERT_EQ(server_.SlotCount(), 1U);
  EXPECT_EQ(server_.SessionAt(0)->Slot().Opis, "Serwisant");
  EXPECT_EQ(server_.SessionAt(0)->Slot().Serwisant, 1);
  EXPECT_EQ(server_.SessionAt(0)->Slot().DBNR, -1);
}

TEST_F(ServerFixture, ReconnectTakesOverTheEarlierSlotWithItsCounters) {
  TAUTHData technician = GoodAuth();
  technician.Serwisant = true;
  LoggedIn(technician);
  ScriptedClient& first = LoggedIn(GoodAuth(1));
  ASSERT_EQ(server_.SlotCount(), 2U);
  EXPECT_EQ(server_.SessionAt(1)->Slot().Opis, "Kopia nr 1");
  const std::int64_t sent = server_.SessionAt(1)->Slot().Wyslano;
  const double started = server_.SessionAt(1)->Slot().CzasStart - 1;
  server_.SessionAt(1)->Slot().CzasStart = started;
  ScriptedClient& second = LoggedIn(GoodAuth(1));
  EXPECT_TRUE(first.WaitClosed());
  ASSERT_EQ(server_.SlotCount(), 2U);
  EXPECT_EQ(server_.SessionAt(1)->Slot().CzasStart, started);
  EXPECT_GT(server_.SessionAt(1)->Slot().Wyslano, sent);
  EXPECT_EQ(server_.SessionAt(1)->Slot().Status, SlotStatus::kLoggedIn);
  EXPECT_EQ(host_.CountLines("Ponowione połączenie klienta 2 z adresu \"/127.0.0.1\""_cp), 1);
  EXPECT_EQ(host_.CountLines("Zamykanie poprzedniego połączenia (/127.0.0.1:"_cp), 1);
  second.Send(pkAktywnosc, "");
  EXPECT_EQ(second.Next().type, pkAktywnoscOdp);
}

struct KeyCase {
  const char* name;
  const char* server_key;
  const char* client_key;
  int expected;
};

class AccessKeyTest : public ServerFixture, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(AccessKeyTest, KeyDecidesBeforeAnyOtherCheck) {
  const KeyCase& c = GetParam();
  ScriptedClient& holder = LoggedIn(GoodAuth(1));  // copy 1 is connected already
  server_.Configure({{}, {}, c.server_key});
  TAUTHData auth = GoodAuth(1);
  auth.Reserved = c.client_key;
  ScriptedClient& client = Connect();
  EXPECT_EQ(LogIn(client, auth), c.expected);
  if (c.expected == kVerificationOk) {
    EXPECT_TRUE(holder.WaitClosed());  // taken over
  } else {
    EXPECT_TRUE(client.WaitClosed());
    EXPECT_FALSE(holder.closed);  // no takeover
    ASSERT_EQ(server_.SlotCount(), 1U);
    EXPECT_EQ(server_.SessionAt(0)->Slot().Status, SlotStatus::kLoggedIn);
  }
}

INSTANTIATE_TEST_SUITE_P(Keys, AccessKeyTest,
                         ::testing::Values(KeyCase{"SetAndMatching", "tajny", "tajny", 0},
                                           KeyCase{"SetAndWrong", "tajny", "tajna", 1},
                                           KeyCase{"SetAndMissing", "tajny", "", 1},
                                           KeyCase{"UnsetAcceptsAnyKey", "", "cokolwiek", 0}),
                         [](const auto& test) { return std::string(test.param.name); });

// ---- Batches ---------------------------------------------------------------------------------

class ExchangeTest : public ServerFixture {
 protected:
  // Four goods whose pictures make the server's batches of three and one records.
  void FourLargeGoods() {
    TestConnection db(MainPath());
    db.transaction.Start();
    fb::Statement insert(db.transaction, "INSERT INTO TOWARY (ID, ZDJECIE) VALUES (:ID, :Z)");
    for (int id = 1; id <= 4; ++id) {
      insert.ParamByName("ID").SetInt(id);
      insert.ParamByName("Z").SetBlob(std::string(400000, static_cast<char>('a' + id)));
      insert.Execute();
    }
    db.transaction.Commit();
  }
  static int Count(const Packet& batch) { return ParseChangeBatch(batch.payload).count; }
};

TEST_F(ExchangeTest, ServerSendsItsBatchesAndDeletesEntriesOnlyAfterEachConfirmation) {
  FourLargeGoods();
  const long long pending = Journal();
  ScriptedClient& client = LoggedIn(GoodAuth());
  client.Send(pkGotowosc, BuildReadySignal(2));
  const Packet first = client.Next(20000);
  ASSERT_EQ(first.type, pkZmiany);
  EXPECT_EQ(Count(first), 3);
  EXPECT_EQ(server_.SessionAt(0)->Slot().DoOdebrZmian, 2);
  EXPECT_EQ(server_.SessionAt(0)->Slot().Status, SlotStatus::kImporting);
  EXPECT_EQ(Journal(), pending);  // nothing goes before the confirmation
  client.Send(pkPotwierdzenie, BuildConfirmation(3));
  const Packet second = client.Next(20000);
  ASSERT_EQ(second.type, pkZmiany);
  EXPECT_EQ(Count(second), 1);
  EXPECT_LT(Journal(), pending);
  EXPECT_GT(Journal(), 0);
  client.Send(pkPotwierdzenie, BuildConfirmation(1));
  const Packet last = client.Next(20000);
  EXPECT_EQ(Count(last), 0);
  EXPECT_EQ(Journal(), 0);
  EXPECT_EQ(server_.SessionAt(0)->Slot().Status, SlotStatus::kLoggedIn);
  EXPECT_EQ(host_.CountLines("Klient 1 zaimportował: 3 rekordów."_cp), 1);
  // Each count continues the line that announced the check (after the cleared status line).
  EXPECT_EQ(host_.CountLines("Sprawdzenie zmian dla klienta 1 ... "_cp), 3);
  EXPECT_EQ(host_.CountLines("Wysłano 3 z 4 zmian do klienta 1"_cp), 1);
  EXPECT_EQ(host_.CountLines("Wysłano 1 z 1 zmian"_cp), 1);
  EXPECT_EQ(host_.CountLines("Brak zmian"), 1);
  EXPECT_EQ(states_.back(), 1);
}

// A client that authenticates with eight fields gets the bare "0" and batches without explicit
// NULLs; one of ours that lists the feature (and one unknown) gets "0;nulls" and NULL columns.
TEST_F(ExchangeTest, ExplicitNullsGoOnlyToAClientThatAgreedOnThem) {
  Exec(MainPath(), "INSERT INTO TOWARY (ID, NAZWA) VALUES (7, 'bez opisu')");
  for (const int copy : {1, 2}) {
    TAUTHData auth = GoodAuth(copy);
    if (copy == 2) auth.Features = "nulls,przyszla";
    ScriptedClient& client = Connect();
    ASSERT_EQ(client.Next().payload, "0");
    client.Send(pkAutoryzacja, BuildAuthData(auth));
    EXPECT_EQ(client.Next().payload, copy == 2 ? "0;nulls" : "0");
    client.Send(pkGotowosc, BuildReadySignal(0));
    const Packet batch = client.Next(20000);
    ASSERT_EQ(Count(batch), 1);
    EXPECT_EQ(batch.payload.find("OPIS;5;") != std::string::npos, copy == 2) << batch.payload;
  }
}

// A table check runs only with a copy of ours that agreed on it: a client that listed no
// features is refused and never receives a packet of the check; a stray answer changes nothing.
TEST_F(ExchangeTest, ATableCheckIsNeverSentToAClientThatDidNotAgreeOnIt) {
  ScriptedClient& client = LoggedIn(GoodAuth());
  client.Send(pkSprawdzenieOdp, BuildCheckStep(CheckStep::kRanges, "0;"));
  bool ended = false;
  const auto refusal =
      server_.Checks().Start(*server_.SessionAt(0), 29, true, [&](auto&) { ended = true; });
  EXPECT_EQ(refusal, std::string("kopia nie obsługuje porównania"_cp));
  EXPECT_EQ(client.Next(300).type, 0);
  EXPECT_FALSE(ended);
  EXPECT_EQ(server_.SessionAt(0)->Slot().Status, SlotStatus::kLoggedIn);
}

TEST_F(ExchangeTest, ClientSendingItsDataFirstGetsAReadySignalAfterTheConfirmation) {
  FourLargeGoods();
  TAUTHData auth = GoodAuth();
  auth.SendNewDataFirst = true;
  ScriptedClient& client = LoggedIn(auth);
  client.Send(pkGotowosc, BuildReadySignal(0));
  ASSERT_EQ(client.Next(20000).type, pkZmiany);
  client.Send(pkPotwierdzenie, BuildConfirmation(3));
  EXPECT_EQ(client.Next(20000).type, pkGotowosc);
  EXPECT_EQ(host_.CountLines("Wysyłanie sygnału gotowości dla klienta 1 ... wysłano"_cp), 1);
}

TEST_F(ExchangeTest, ClientBatchIsImportedAndConfirmedAndAnEmptyOneEndsTheCycle) {
  ScriptedClient& client = LoggedIn(GoodAuth());
  client.Send(pkZmiany, BuildChangeBatch(1, 1, "900;29;0;2;ID;1;900;NAZWA;0;3;abc;"));
  const Packet confirmation = client.Next(20000);
  EXPECT_EQ(confirmation.type, pkPotwierdzenie);
  EXPECT_EQ(confirmation.payload, "1");
  EXPECT_EQ(Query(MainPath(), "SELECT NAZWA FROM TOWARY WHERE ID = 900"), "abc");
  EXPECT_EQ(host_.CountLines("Klient 1 przysłał 1 z 1 zmian, importowanie ... "_cp), 1);
  EXPECT_EQ(host_.CountLines("Zaimportowano 1"), 1);
  client.Send(pkZmiany, BuildChangeBatch(0, 0, ""));
  ASSERT_TRUE(RunUntil([this] { return !idle_restarts_.empty(); }));
  EXPECT_EQ(idle_restarts_.back(), 780000);
  EXPECT_EQ(client.Next(300).type, 0);  // no answer
  EXPECT_EQ(server_.SessionAt(0)->Slot().Status, SlotStatus::kLoggedIn);
  EXPECT_EQ(host_.CountLines("Brak zmian po stronie klienta 1"), 1);
}

TEST_F(ExchangeTest, ImportHeldByALockIsReportedAndTheSlotStays) {
  Exec(MainPath(), "INSERT INTO DOKUMENTY (ID, NAZWA) VALUES (400, 'x')");
  Exec(MainPath(), "INSERT INTO SESJE (ID, AKTYWNA) VALUES (1, CURRENT_TIMESTAMP)");
  Exec(MainPath(),
       "INSERT INTO BLOKADY (IDBLOKADY, IDSESJI, TYPOBIEKTU, IDOBIEKTU) VALUES (5000, 1, 1, 400)");
  Exec(MainPath(), "DELETE FROM REPZMIANY");  // no pending change of its own wins the record
  ScriptedClient& client = LoggedIn(GoodAuth());
  client.Send(pkZmiany, BuildChangeBatch(1, 1, "400;0;1;2;ID;1;400;NAZWA;0;1;y;"));
  const Packet report = client.Next(20000);
  ASSERT_EQ(report.type, pkBlad);
  EXPECT_TRUE(report.payload.starts_with("5;")) << report.payload;
  EXPECT_FALSE(client.WaitClosed(300));
  ASSERT_EQ(server_.SlotCount(), 1U);
  EXPECT_EQ(server_.SessionAt(0)->Slot().Status, SlotStatus::kLoggedIn);
  EXPECT_EQ(Query(MainPath(), "SELECT NAZWA FROM DOKUMENTY WHERE ID = 400"), "x");
}

// Two copies changing the same records at once: their imports run side by side and meet on the
// records' locks, yet each batch is applied whole or dropped whole, as if one came after the
// other; the winner's version is on its way to the loser.
TEST_F(ExchangeTest, TwoCopiesChangingTheSameRecordsAtOnceEndWithTheDataOfASerialRun) {
  constexpr int kRecords = 400;
  TestConnection db(MainPath());
  db.transaction.Start();
  fb::Statement insert(db.transaction, "INSERT INTO DOKUMENTY (ID, NAZWA) VALUES (:ID, 'glowny')");
  std::string batches[2];
  for (int id = 1; id <= kRecords; ++id) {
    insert.ParamByName("ID").SetInt(id);
    insert.Execute();
    for (const int copy : {1, 2}) {
      const int record = copy == 1 ? id : kRecords + 1 - id;  // meeting from both ends
      batches[copy - 1] += std::to_string(record) + ";0;1;2;ID;1;" + std::to_string(record) +
                           ";NAZWA;0;6;kopia" + std::to_string(copy) + ";";
    }
  }
  db.transaction.Commit();
  Exec(MainPath(), "DELETE FROM REPZMIANY");
  ScriptedClient& first = LoggedIn(GoodAuth(1));
  ScriptedClient& second = LoggedIn(GoodAuth(2));
  first.Send(pkZmiany, BuildChangeBatch(kRecords, kRecords, batches[0]));
  second.Send(pkZmiany, BuildChangeBatch(kRecords, kRecords, batches[1]));
  EXPECT_EQ(first.Next(60000).type, pkPotwierdzenie);
  EXPECT_EQ(second.Next(60000).type, pkPotwierdzenie);
  const std::string winner = Query(MainPath(), "SELECT MIN(NAZWA) FROM DOKUMENTY");
  EXPECT_EQ(Query(MainPath(), "SELECT MAX(NAZWA) FROM DOKUMENTY"), winner);
  ASSERT_TRUE(winner == "kopia1" || winner == "kopia2") << winner;
  const int loser = winner == "kopia1" ? 2 : 1;
  EXPECT_EQ(Journal(loser), kRecords);
  EXPECT_EQ(Journal(3 - loser), 0);
}

TEST_F(ExchangeTest, DataAndCommandsBeforeLoggingInChangeNothingAndGetNoAnswer) {
  FourLargeGoods();
  const long long pending = Journal();
  ScriptedClient& client = Connect();
  ASSERT_EQ(client.Next().payload, "0");
  client.Send(pkGotowosc, BuildReadySignal(0));
  client.Send(pkZmiany, BuildChangeBatch(1, 1, "901;29;0;1;ID;1;901;"));
  client.Send(pkPotwierdzenie, BuildConfirmation(1));
  client.Send(pkPolecenie, BuildCommand(kCommandRemoveClient, "0"));
  client.Send(pkBlad, BuildErrorReport(kErrorImportLocked, "x"));
  client.Send(pkAktywnosc, "");
  EXPECT_EQ(client.Next(500).type, 0);
  EXPECT_EQ(Journal(), pending);
  EXPECT_EQ(QueryInt(MainPath(), "SELECT COUNT(*) FROM TOWARY WHERE ID = 901"), 0);
  EXPECT_EQ(QueryInt(MainPath(), "SELECT COUNT(*) FROM REPZMIANY WHERE IDTRANSAKCJI <> 0"), 0);
  ASSERT_EQ(server_.SlotCount(), 1U);
  EXPECT_EQ(server_.SessionAt(0)->Slot().Status, SlotStatus::kConnected);
  EXPECT_EQ(host_.CountLines("Pominięto pakiet typu"_cp), 1);
  EXPECT_EQ(host_.CountLines("Po stronie klienta"), 0);
}

TEST_F(ExchangeTest, ClientErrorReportClosesTheSlotExceptForALock) {
  ScriptedClient& locked = LoggedIn(GoodAuth(1));
  locked.Send(pkBlad, BuildErrorReport(kErrorImportLocked, "rekord zajęty"_cp));
  ASSERT_TRUE(RunUntil([this] { return host_.CountLines("Po stronie klienta 1") == 1; }));
  EXPECT_EQ(host_.lines.back().level, kLogSerious);
  ScriptedClient& failing = LoggedIn(GoodAuth(2));
  failing.Send(pkBlad, BuildErrorReport(kErrorImportingData, "zły rekord"_cp));
  EXPECT_TRUE(failing.WaitClosed());
  EXPECT_EQ(host_.CountLines(
                "Po stronie klienta 2 wystąpił błąd w czasie importowania danych: zły rekord"_cp),
            1);
  EXPECT_FALSE(locked.closed);
  EXPECT_EQ(server_.SlotCount(), 1U);
  // The copy's last error outlives its slot: the copy's next slot shows it again.
  LoggedIn(GoodAuth(2));
  EXPECT_EQ(server_.SessionAt(static_cast<int>(server_.SlotCount()) - 1)->Slot().LastErrorMsg,
            " wystąpił błąd w czasie importowania danych: zły rekord"_cp);
  // A detail cannot forge a log line of its own, nor flood the log.
  locked.Send(pkBlad, BuildErrorReport(kErrorImportLocked, "a\r\n2026.12.09 00:00:00.000 X" +
                                                               std::string(100'000, 'y')));
  ASSERT_TRUE(RunUntil([this] { return host_.CountLines("Po stronie klienta 1") == 2; }));
  const std::string& line = host_.lines.back().text;
  EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
  EXPECT_LT(line.size(), 2200U);
  EXPECT_TRUE(line.ends_with("...")) << line.substr(0, 80);
}

}  // namespace
}  // namespace tramolin::testing
