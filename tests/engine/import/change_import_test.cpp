// The import of change payloads: conversions, conflicts, locks, commit-each tables, the loop
// guard and the failures that must leave nothing half-applied.
#include "engine/change_import.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "import_fixture.h"
#include "util/cp1250.h"

namespace tramolin::testing {
namespace {

constexpr int kDokumenty = 0;
constexpr int kBlokady = 53;
constexpr int kUrzadzenia = 55;
constexpr int kRepDialog = 70;
constexpr int kPolaDodatkowe = 24;
constexpr int kTowary = 29;
constexpr int kZamHead = 37;

class ChangeImportTest : public ImportFixture {
 protected:
  // Rows made by hand, with the journal entries they caused removed again.
  void Setup(Side& side, std::initializer_list<std::string_view> statements) {
    for (std::string_view sql : statements) Exec(side.path, sql);
    Exec(side.path, "DELETE FROM REPZMIANY");
  }
  std::string Value(Side& side, std::string_view sql) { return Query(side.path, sql); }
  long long Number(Side& side, std::string_view sql) { return QueryInt(side.path, sql); }
  long long Documents(Side& side) { return Number(side, "SELECT COUNT(*) FROM DOKUMENTY"); }
  bool Logged(const Side& side, std::string_view text) {
    for (const LogLine& line : side.host.lines) {
      if (line.text.find(text) != std::string::npos) return true;
    }
    return false;
  }
};

TEST_F(ChangeImportTest, RecordsAreConvertedToWhatTheLocalDatabaseNeeds) {
  Setup(*copy_, {"INSERT INTO DOKUMENTY (ID, NAZWA, OPIS) VALUES (101, 'stary', 'opis')",
                 "INSERT INTO DOKUMENTY (ID, NAZWA, OPIS) VALUES (103, 'stary', 'opis')"});
  const std::string payload =
      Text(Record(100, kDokumenty, kChangeUpdate,
                  {IntegerField("ID", 100), TextField("NAZWA", "nowy; z srednikiem"),
                   DateTimeField("DATA", 45123.5), TextField("ILOSC", "12.34"),
                   TextField("IDOPERATORA", "42")})) +
      Text(Record(101, kDokumenty, kChangeInsert,
                  {IntegerField("ID", 101), TextField("NAZWA", "b")})) +
      Text(Record(102, kDokumenty, kChangeDelete)) +
      RecordText(Record(103, kDokumenty, kChangeUpdate, {NullField("OPIS", FieldType::kText)}),
                 NullColumns::kWritten);
  ASSERT_EQ(copy_->Import(payload), ImportOutcome::kDone) << copy_->Error();
  EXPECT_EQ(copy_->count, 3);  // the delete of a missing record is not counted
  EXPECT_EQ(Value(*copy_,
                  "SELECT NAZWA FROM DOKUMENTY WHERE ID = 100 AND ILOSC = 12.34 AND "
                  "IDOPERATORA = 42 AND DATA = '2023-07-16 12:00'"),
            "nowy; z srednikiem");  // text for numeric columns converted by the database
  // The insert became an update of the columns it carries: what it lacks stays as it was; an
  // explicit NULL clears.
  EXPECT_EQ(Value(*copy_,
                  "SELECT NAZWA || '|' || COALESCE(OPIS, '<NULL>') FROM DOKUMENTY "
                  "WHERE ID = 101"),
            "b|opis");
  EXPECT_EQ(Value(*copy_,
                  "SELECT NAZWA || '|' || COALESCE(OPIS, '<NULL>') FROM DOKUMENTY "
                  "WHERE ID = 103"),
            "stary|<NULL>");
  EXPECT_TRUE(Logged(*copy_, "NOREC U->I"));
  EXPECT_TRUE(Logged(*copy_, "REC I->U"));
  EXPECT_TRUE(Logged(*copy_, "NOREC D->N"));
  EXPECT_EQ(copy_->host.CountLines("-1 IT=0 IR=102 TZ=2 IL=0"), 1);
  EXPECT_EQ(Journal(*copy_), 0);  // nothing goes back to the sender
}

TEST_F(ChangeImportTest, TheLoopGuardStopsAt99999RecordsAfterCommittingThem) {
  std::string payload = Text(Record(5, kDokumenty, kChangeInsert, {IntegerField("ID", 5)}));
  for (int i = 1; i < kImportLoopGuard; ++i) payload += Text(Record(1000 + i, kDokumenty, 2));
  EXPECT_EQ(copy_->Import(payload), ImportOutcome::kFailed);
  EXPECT_EQ(copy_->Error(),
            "Wystąpił błąd (3) w czasie importu rekordu (KI=-1). Fragment oryginalnych danych "
            "(LEN=0) : \"\""_cp);
  EXPECT_EQ(Documents(*copy_), 1);  // committed, seen from another connection
  EXPECT_EQ(copy_->host.progress[-1], 0);
}

// A skipped record (a delete of a missing one) is not counted, but commits while the count stands
// at a multiple of 1,000: here before the first record applied and right after the thousandth.
TEST_F(ChangeImportTest, CommitsEveryThousandRecordsAndAtTheEnd) {
  std::string payload = Text(Record(9001, kDokumenty, kChangeDelete));
  for (int i = 1; i <= 1500; ++i) {
    payload += Text(Record(i, kDokumenty, kChangeInsert, {IntegerField("ID", i)}));
    if (i == 1000) payload += Text(Record(9002, kDokumenty, kChangeDelete));
  }
  ASSERT_EQ(copy_->Import(payload), ImportOutcome::kDone) << copy_->Error();
  EXPECT_EQ(copy_->count, 1500);
  EXPECT_EQ(copy_->host.CountLines("-1 COMMIT1"), 3);
  EXPECT_EQ(copy_->host.CountLines("-1 COMMIT2"), 1);
  EXPECT_EQ(copy_->host.CountLines("-1 DONE=1500 EVNCNT="), 1);
}

TEST_F(ChangeImportTest, TheServerDropsAChangeOfARecordItChangedItself) {
  Exec(main_->path, "INSERT INTO DOKUMENTY (ID, NAZWA) VALUES (200, 'serwer')");
  const long long pending = Journal(*main_);
  ASSERT_EQ(main_->Import(Text(Record(200, kDokumenty, kChangeUpdate,
                                      {IntegerField("ID", 200), TextField("NAZWA", "kopia")}))),
            ImportOutcome::kDone);
  EXPECT_EQ(main_->count, 0);
  EXPECT_EQ(main_->conflicts, 0);
  EXPECT_EQ(Value(*main_, "SELECT NAZWA FROM DOKUMENTY WHERE ID = 200"), "serwer");
  EXPECT_EQ(Journal(*main_), pending);
  EXPECT_EQ(main_->host.CountLines("0 IT=0 IR=200 TZ=1 IL=2 KONFL: ->N"), 1);
  EXPECT_EQ(Number(*main_, "SELECT COUNT(*) FROM REPKONFLHEAD"), 0);
}

TEST_F(ChangeImportTest, TheCopyTakesTheMainVersionAndKeepsWhatItLoses) {
  RecordEventCalls(copy_->path);
  Exec(copy_->path,
       "INSERT INTO DOKUMENTY (ID, NAZWA, WARTOSC, DATA, DANE) "
       "VALUES (300, 'lokalny', 2.5, '2023-07-16 12:00', 'stare')");
  ASSERT_EQ(Journal(*copy_), 1);
  const std::string payload = Text(Record(
      300, kDokumenty, kChangeUpdate,
      {IntegerField("ID", 300), TextField("NAZWA", "glowny"), FloatField("WARTOSC", 2.5),
       DateTimeField("DATA", 45124.5), BlobField("DANE", "nowe"), TextField("OPIS", "dodany")}));
  ASSERT_EQ(copy_->Import(payload), ImportOutcome::kDone) << copy_->Error();
  EXPECT_EQ(copy_->count, 1);
  EXPECT_EQ(copy_->conflicts, 1);
  EXPECT_EQ(Value(*copy_, "SELECT NAZWA || '|' || OPIS FROM DOKUMENTY WHERE ID = 300"),
            "glowny|dodany");
  EXPECT_EQ(Number(*copy_, "SELECT COUNT(*) FROM REPKONFLHEAD WHERE IDREKORDU = 300"), 1);
  EXPECT_EQ(Number(*copy_, "SELECT COUNT(*) FROM REPKONFLDETAIL"), 4);  // all but ID, WARTOSC
  EXPECT_EQ(Value(*copy_, "SELECT VOLD || '>' || VNEW FROM REPKONFLDETAIL WHERE NAZWAPOLA='DATA'"),
            "2023.07.16 12:00:00>2023.07.17 12:00:00");
  EXPECT_EQ(Value(*copy_, "SELECT VNEWBLB FROM REPKONFLDETAIL WHERE NAZWAPOLA = 'DANE'"), "nowe");
  EXPECT_EQ(Journal(*copy_) - Number(*copy_,
                                     "SELECT COUNT(*) FROM REPZMIANY WHERE IDTABELI = 84 "
                                     "OR IDTABELI = 85"),
            0);  // only the conflict rows themselves wait to go to the main database
  EXPECT_TRUE(Logged(*copy_, "KONFL: cont"));
  EXPECT_EQ(RecordedEvents(copy_->path), "DOKUMENT,WIADOMOSCHEAD");
}

// The first import of the record takes its pending entry along: the second one meets none, also
// when the deletion of the entries waits for the next record's look (without a full log).
TEST_F(ChangeImportTest, ARecordTwiceInABatchConflictsOnce) {
  for (const std::int32_t id : {300, 301}) {
    copy_->host.full_log = id == 300;
    Exec(copy_->path,
         "INSERT INTO DOKUMENTY (ID, NAZWA) VALUES (" + std::to_string(id) + ", 'lokalny')");
    const std::string update = Text(Record(id, kDokumenty, kChangeUpdate,
                                           {IntegerField("ID", id), TextField("NAZWA", "glowny")}));
    ASSERT_EQ(copy_->Import(update + update), ImportOutcome::kDone) << copy_->Error();
    EXPECT_EQ(copy_->conflicts, 1) << id;
  }
  EXPECT_EQ(copy_->host.CountLines("-1 IT=0 IR=300 TZ=1 IL=2 KONFL: cont"), 1);
  EXPECT_EQ(Number(*copy_, "SELECT COUNT(*) FROM REPZMIANY WHERE IDTABELI = 0"), 0);
}

// The main database drops a change it has pending without looking into the (dropped) table.
TEST_F(ChangeImportTest, TheServerDropsAChangeForATableItNoLongerHas) {
  Setup(*main_, {"DROP TABLE GRUPYADRESATOW"});
  Exec(main_->path,
       "INSERT INTO REPZMIANY (ID, IDREPKOPIE, IDTABELI, IDREKORDU, TYPZMIANY) "
       "VALUES (1, 1, 5, 7, 2)");
  ASSERT_EQ(main_->Import(Text(Record(7, 5, kChangeDelete))), ImportOutcome::kDone)
      << main_->Error();
  EXPECT_EQ(main_->host.CountLines("0 IT=5 IR=7 TZ=2 IL=0 KONFL: ->N"), 1);
}

struct LockCase {
  const char* name;
  int table;
  int lock_id;          // IDBLOKADY: its range names the database that locked
  int idle_seconds;     // since the session's last activity
  int object;           // IDOBIEKTU
  bool carries_device;  // the URZADZENIA record carries IDURZADZENIADANE = 77
  ImportOutcome result;
};

class LockTest : public ChangeImportTest, public ::testing::WithParamInterface<LockCase> {};

TEST_P(LockTest, OnlyALiveLockOfThisDatabaseStopsTheImport) {
  const LockCase& c = GetParam();
  const int type = c.table == kDokumenty ? 1 : 62;
  const std::string table = c.table == kDokumenty ? "DOKUMENTY" : "URZADZENIA";
  Setup(*copy_, {"INSERT INTO " + table + " (ID, NAZWA) VALUES (400, 'x')",
                 "INSERT INTO SESJE (ID, AKTYWNA) VALUES (1, CURRENT_TIMESTAMP - " +
                     std::to_string(c.idle_seconds) + " / 86400.0)",
                 "INSERT INTO BLOKADY (IDBLOKADY, IDSESJI, TYPOBIEKTU, IDOBIEKTU) VALUES (" +
                     std::to_string(c.lock_id) + ", 1, " + std::to_string(type) + ", " +
                     std::to_string(c.object) + ")"});
  std::vector<TPole> fields = {IntegerField("ID", 400), TextField("NAZWA", "y")};
  if (c.carries_device) fields.push_back(IntegerField("IDURZADZENIADANE", 77));
  const std::string payload =
      Text(Record(401, kDokumenty, kChangeInsert, {IntegerField("ID", 401)})) +
      Text(Record(400, c.table, kChangeUpdate, fields));
  EXPECT_EQ(copy_->Import(payload), c.result) << copy_->Error();
  if (c.result == ImportOutcome::kLocked) {
    EXPECT_EQ(copy_->Error(),
              "Wystąpił błąd (4) w czasie importu rekordu (ID=400) do tabeli "_cp + table +
                  "\r\nRekord o ID=400 z tabeli \"" + table +
                  "\" jest w trakcie edycji. Replikacja będzie wstrzymana do czasu zdjęcia "
                  "blokady"_cp);
    EXPECT_EQ(Number(*copy_, "SELECT COUNT(*) FROM DOKUMENTY WHERE ID = 401"), 0);
    EXPECT_EQ(copy_->host.CountLines("-1 ROLLB4 Rekord o ID=400"), 1);
  } else {
    EXPECT_EQ(Value(*copy_, "SELECT NAZWA FROM " + table + " WHERE ID = 400"), "y");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Locks, LockTest,
    ::testing::Values(
        LockCase{"ActiveHere", kDokumenty, 10600000, 0, 400, false, ImportOutcome::kLocked},
        LockCase{"IdleSession", kDokumenty, 10600000, 300, 400, false, ImportOutcome::kDone},
        LockCase{"MadeInMain", kDokumenty, 5000, 0, 400, false, ImportOutcome::kDone},
        LockCase{"MadeInCopy2", kDokumenty, 11000001, 0, 400, false, ImportOutcome::kDone},
        LockCase{"DeviceByDataId", kUrzadzenia, 10600000, 0, 77, true, ImportOutcome::kLocked},
        LockCase{"DeviceNotByOwnId", kUrzadzenia, 10600000, 0, 400, true, ImportOutcome::kDone},
        LockCase{"DeviceWithoutDataId", kUrzadzenia, 10600000, 0, -1, false,
                 ImportOutcome::kLocked}),
    [](const auto& test) { return std::string(test.param.name); });

// A user of the host application or another import holding a record: the import waits for it
// instead of failing, applies everything since its last commit again, and journals each lost
// local version once.
TEST_F(ChangeImportTest, ARecordHeldByAnotherTransactionIsWaitedForAndAppliedOnce) {
  Setup(*copy_, {"INSERT INTO DOKUMENTY (ID, NAZWA) VALUES (301, 'stary')"});
  Exec(copy_->path, "INSERT INTO DOKUMENTY (ID, NAZWA) VALUES (300, 'lokalny')");
  TestConnection other(copy_->path);
  other.transaction.Start();
  fb::Statement(other.transaction, "UPDATE DOKUMENTY SET NAZWA = 'inny' WHERE ID = 301").Execute();
  std::thread release([&other] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    other.transaction.Commit();
  });
  const auto update = [](std::int32_t id) {
    return Text(Record(id, kDokumenty, kChangeUpdate,
                       {IntegerField("ID", id), TextField("NAZWA", "glowny")}));
  };
  const ImportOutcome outcome = copy_->Import(update(300) + update(301));
  release.join();
  ASSERT_EQ(outcome, ImportOutcome::kDone) << copy_->Error();
  EXPECT_GE(copy_->host.CountLines("-1 WAIT "), 1);
  EXPECT_EQ(copy_->count, 2);
  EXPECT_EQ(Value(*copy_, "SELECT LIST(NAZWA) FROM DOKUMENTY WHERE ID IN (300, 301)"),
            "glowny,glowny");
  EXPECT_EQ(copy_->conflicts, 2);  // 'lokalny' and 'inny'
  EXPECT_EQ(Number(*copy_, "SELECT COUNT(*) FROM REPKONFLHEAD"), 2);
}

// Another transaction commits a change of the record between the import's look at the journal
// and its own change: the main database still keeps its own version and the entries for the
// sender, and a copy still journals the version it loses, as if the two had come one after the
// other.
TEST_F(ChangeImportTest, AChangeCommittedBetweenTheLookAndTheWriteStillWins) {
  for (Side* side : {main_.get(), copy_.get()}) {
    Setup(*side, {"INSERT INTO DOKUMENTY (ID, NAZWA) VALUES (310, 'stary')"});
    bool rival_done = false;
    side->host.on_log = [&](std::string_view line) {
      if (rival_done || !line.ends_with(" REC")) return;
      rival_done = true;
      Exec(side->path, "UPDATE DOKUMENTY SET NAZWA = 'rywal' WHERE ID = 310");
    };
    const ImportOutcome outcome =
        side->Import(Text(Record(310, kDokumenty, kChangeUpdate,
                                 {IntegerField("ID", 310), TextField("NAZWA", "przyslany")})));
    side->host.on_log = nullptr;
    ASSERT_EQ(outcome, ImportOutcome::kDone) << side->Error();
    EXPECT_TRUE(rival_done);
    const bool main = side == main_.get();
    EXPECT_EQ(Value(*side, "SELECT NAZWA FROM DOKUMENTY WHERE ID = 310"),
              main ? "rywal" : "przyslany");
    EXPECT_EQ(Number(*side, "SELECT COUNT(*) FROM REPZMIANY WHERE IDTABELI = 0 AND IDREPKOPIE = " +
                                std::to_string(side->sender())),
              main ? 1 : 0);
    EXPECT_EQ(side->conflicts, main ? 0 : 1);
  }
}

// Without a full log a record's entries are deleted by the next record's look: an entry for the
// sender committed before that still means that the look before the change was stale, and the
// main database keeps its own version.
TEST_F(ChangeImportTest, AnEntryCommittedBeforeTheDeferredDeletionMakesTheImportLookAgain) {
  Setup(*main_, {"INSERT INTO DOKUMENTY (ID, NAZWA) VALUES (320, 'stary')"});
  main_->host.full_log = false;
  main_->host.on_progress = [&, reports = 0]() mutable {
    if (++reports != 2) return;  // after the first record
    Exec(main_->path,
         "INSERT INTO REPZMIANY (ID, IDREPKOPIE, IDTABELI, IDREKORDU, TYPZMIANY) "
         "VALUES (GEN_ID(REPZMIANY_ID, 1), 1, 0, 320, 1)");
  };
  const ImportOutcome outcome =
      main_->Import(Text(Record(320, kDokumenty, kChangeUpdate,
                                {IntegerField("ID", 320), TextField("NAZWA", "przyslany")})) +
                    Text(Record(321, kDokumenty, kChangeInsert, {IntegerField("ID", 321)})));
  main_->host.on_progress = nullptr;
  ASSERT_EQ(outcome, ImportOutcome::kDone) << main_->Error();
  EXPECT_EQ(Value(*main_, "SELECT NAZWA FROM DOKUMENTY WHERE ID = 320"), "stary");
  EXPECT_EQ(Number(*main_, "SELECT COUNT(*) FROM REPZMIANY WHERE IDREPKOPIE = 1"), 1);
  EXPECT_EQ(main_->count, 1);  // only 321
}

TEST_F(ChangeImportTest, CommitEachTablesCommitAroundTheRecordAndSurviveFailures) {
  const std::string payload =
      Text(Record(501, kDokumenty, kChangeInsert, {IntegerField("ID", 501)})) +
      Text(Record(10600001, kBlokady, kChangeInsert,
                  {IntegerField("IDBLOKADY", 10600001), TextField("IDSESJI", "nie liczba")})) +
      Text(Record(10600002, kBlokady, kChangeInsert,
                  {IntegerField("IDBLOKADY", 10600002), IntegerField("IDSESJI", 3)})) +
      Text(Record(502, kDokumenty, kChangeInsert, {IntegerField("ID", 502)}));
  ASSERT_EQ(copy_->Import(payload), ImportOutcome::kDone) << copy_->Error();
  EXPECT_EQ(copy_->count, 4);
  EXPECT_EQ(copy_->host.CountLines("-1 COMMIT0"), 1);  // the open batch before the first lock
  EXPECT_EQ(copy_->host.CountLines("-1 COMMIT1"), 2);
  EXPECT_TRUE(Logged(*copy_, " SQL SAFE EXCPT: "));
  EXPECT_TRUE(Logged(*copy_, " SQL SAFE RA1=1 RA2=1"));
  EXPECT_EQ(Number(*copy_, "SELECT COUNT(*) FROM BLOKADY"), 1);
  EXPECT_EQ(Documents(*copy_), 2);
  EXPECT_EQ(Journal(*copy_), 0);
}

TEST_F(ChangeImportTest, ARequestForThisDatabaseRunsAndTravelsBack) {
  auto request = [](int id, int addressee) {
    return Text(
        Record(id, kRepDialog, kChangeInsert,
               {IntegerField("ID", id), IntegerField("IDREPKOPIEADRESAT", addressee),
                IntegerField("STATUS", 0), IntegerField("TYP", 4), IntegerField("INPARAM1", 9),
                IntegerField("OUTPARAM1", 0), TextField("OUTPARAM2", "")}));
  };
  ASSERT_EQ(copy_->Import(request(600, 1) + request(601, 2)), ImportOutcome::kDone)
      << copy_->Error();
  EXPECT_EQ(Value(*copy_, "SELECT OUTPARAM1 FROM REPDIALOG WHERE ID = 600"), "2");
  EXPECT_EQ(Value(*copy_, "SELECT OUTPARAM1 FROM REPDIALOG WHERE ID = 601"), "0");
  EXPECT_EQ(Number(*copy_, "SELECT COUNT(*) FROM REPZMIANY WHERE IDREKORDU = 600"), 1);
  EXPECT_EQ(Number(*copy_, "SELECT COUNT(*) FROM REPZMIANY WHERE IDREKORDU = 601"), 0);
  EXPECT_TRUE(Logged(*copy_, " SQL RA1=1 RA2=0 (REPDIALOG)"));
}

TEST_F(ChangeImportTest, AnAttachmentRequestStoresTheFileAndCarriesTheResultBack) {
  const std::filesystem::path file = Dir() / "umowa.pdf";
  std::ofstream(file, std::ios::binary) << "%PDF tresc";
  Setup(*copy_, {"INSERT INTO ZALACZNIKI (ID, TYPZALACZNIKA, NAZWA) VALUES (9, 1, '" +
                 file.string() + "')"});
  const std::string request =
      Text(Record(602, kRepDialog, kChangeInsert,
                  {IntegerField("ID", 602), IntegerField("IDREPKOPIEADRESAT", 1),
                   IntegerField("STATUS", 0), IntegerField("TYP", 4), IntegerField("INPARAM1", 9),
                   IntegerField("OUTPARAM1", 0), TextField("OUTPARAM2", "")}));
  ASSERT_EQ(copy_->Import(request), ImportOutcome::kDone) << copy_->Error();
  EXPECT_EQ(Value(*copy_, "SELECT OUTPARAM1 || '|' || OUTPARAM2 FROM REPDIALOG WHERE ID = 602"),
            "1|");
  EXPECT_EQ(Value(*copy_, "SELECT TYPZALACZNIKA || '|' || NAZWA FROM ZALACZNIKI WHERE ID = 9"),
            "0|UMOWA.PDF");
  EXPECT_EQ(Value(*copy_, "SELECT ZALACZNIK FROM ZALACZNIKI WHERE ID = 9"), "%PDF tresc");
}

TEST_F(ChangeImportTest, AnExtraColumnDefinitionAddsItsColumnOnce) {
  const std::string definition =
      Text(Record(512, kPolaDodatkowe, kChangeInsert,
                  {IntegerField("ID", 512), IntegerField("USUNIETY", 0),
                   IntegerField("LOKALIZACJA", 8), IntegerField("TYP", 2)}));
  const std::string column_count =
      "SELECT COUNT(*) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = 'TOWARY' AND "
      "RDB$FIELD_NAME = 'USER512'";
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_EQ(copy_->Import(definition), ImportOutcome::kDone) << copy_->Error();
    EXPECT_EQ(Number(*copy_, column_count), 1);
  }
  EXPECT_TRUE(Logged(*copy_, "-1 PDNEW \"TOWARY USER512 VARCHAR(250) COLLATE PXW_PLK\""));
}

TEST_F(ChangeImportTest, ImportedTablesFireTheirEventsOnceEach) {
  RecordEventCalls(copy_->path);
  std::string batch;
  for (int id = 1; id <= 10; ++id) {
    batch += Text(Record(id, kTowary, kChangeInsert, {IntegerField("ID", id)}));
  }
  for (int id = 1; id <= 3; ++id) {
    batch += Text(Record(id, kZamHead, kChangeInsert, {IntegerField("ID", id)}));
  }
  ASSERT_EQ(copy_->Import(batch), ImportOutcome::kDone) << copy_->Error();
  EXPECT_EQ(copy_->host.CountLines("-1 DONE=13 EVNCNT=2"), 1);
  EXPECT_EQ(RecordedEvents(copy_->path), "TOWAR,ZAMOWIENIE");

  copy_->host.events_enabled = false;
  ASSERT_EQ(copy_->Import(Text(Record(11, kTowary, kChangeInsert, {IntegerField("ID", 11)}))),
            ImportOutcome::kDone);
  EXPECT_EQ(copy_->host.CountLines("-1 DONE=1 EVNCNT=0"), 1);
  EXPECT_EQ(RecordedEvents(copy_->path), "TOWAR,ZAMOWIENIE");
}

// Whatever stops a batch part-way leaves none of its uncommitted records behind, and the next
// call starts clean.
struct BrokenCase {
  const char* name;
  std::string tail;   // the record after a valid insert
  std::string error;  // the start of the error text
};

class BrokenPayloadTest : public ChangeImportTest,
                          public ::testing::WithParamInterface<BrokenCase> {};

TEST_P(BrokenPayloadTest, NothingOfTheBatchStaysAndTheNextCallStartsClean) {
  const BrokenCase& c = GetParam();
  const std::string good = Text(Record(700, kDokumenty, kChangeInsert, {IntegerField("ID", 700)}));
  EXPECT_EQ(copy_->Import(good + c.tail), ImportOutcome::kFailed);
  EXPECT_TRUE(copy_->Error().starts_with(c.error)) << copy_->Error();
  EXPECT_FALSE(Internals(copy_->Db()).IBTSetData().Active());
  ASSERT_EQ(copy_->Import(Text(Record(701, kDokumenty, kChangeInsert, {IntegerField("ID", 701)}))),
            ImportOutcome::kDone);
  EXPECT_EQ(Number(*copy_, "SELECT COUNT(*) FROM DOKUMENTY WHERE ID = 700"), 0);
  EXPECT_EQ(Documents(*copy_), 1);
}

const std::string kError1("Wystąpił błąd (1) w czasie importu rekordu ("_cp);
const std::string kError1Dokumenty(kError1 + "ID=5) do tabeli DOKUMENTY\r\n");

// Record 5 of DOKUMENTY (11 columns) with its key and `count` - 1 more distinct columns.
std::string WideRecord(int count) {
  std::string text = "5;0;0;" + std::to_string(count) + ";ID;1;5;";
  for (int i = 1; i < count; ++i) text += "C" + std::to_string(i) + ";1;0;";
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Broken, BrokenPayloadTest,
    ::testing::Values(
        BrokenCase{"UnknownTable", "5;137;2;", "Nieznana tabela: 137"},
        BrokenCase{"NotARecord", "x;y;", kError1 + "KI=-1). Fragment oryginalnych danych (LEN=4)"},
        BrokenCase{"InjectedName", "5;0;0;1;ID) VALUES (1); --;1;5;", kError1},
        BrokenCase{"NameWithCommentAndParenthesis", "5;0;0;1;ID) VALUES (1) --;1;5;",
                   kError1 + "ID=5) do tabeli DOKUMENTY\r\nNieprawidłowa nazwa kolumny"_cp},
        BrokenCase{"QuotedName", "5;0;0;1;\"ID\";1;5;",
                   kError1 + "ID=5) do tabeli DOKUMENTY\r\nNieprawidłowa nazwa kolumny"_cp},
        BrokenCase{"UnknownColumn", "5;0;0;1;NIEMA;1;5;", kError1 + "ID=5) do tabeli DOKUMENTY"},
        BrokenCase{"OneColumnMoreThanTheTable", WideRecord(12),
                   kError1Dokumenty + "Rekord ma więcej kolumn (12) niż tabela DOKUMENTY (11)"_cp},
        BrokenCase{
            "AHundredThousandColumns", WideRecord(100'000),
            kError1Dokumenty + "Rekord ma więcej kolumn (100000) niż tabela DOKUMENTY (11)"_cp},
        BrokenCase{
            "DayCountBeyondYear9999", "5;0;0;2;ID;1;5;DATA;3;1E300;",
            kError1Dokumenty + "Wartość poza zakresem daty i czasu w kolumnie DATA: 1E300"_cp}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(ChangeImportTest, AnUnreachableDatabaseFailsWithTheProgressCleared) {
  copy_->host.progress[-1] = 40;
  copy_->data->DisconnectDatabase(true);
  std::filesystem::rename(copy_->path, copy_->path + ".away");
  EXPECT_EQ(copy_->Import(Text(Record(1, kDokumenty, kChangeDelete))), ImportOutcome::kFailed);
  EXPECT_EQ(copy_->host.progress[-1], 0);
}

TEST_F(ChangeImportTest, AnEmptyBatchIsDoneWithNothingApplied) {
  EXPECT_EQ(copy_->Import(""), ImportOutcome::kDone);
  EXPECT_EQ(copy_->count, 0);
  EXPECT_EQ(copy_->host.CountLines("-1 DONE=0"), 1);
}

}  // namespace
}  // namespace tramolin::testing
