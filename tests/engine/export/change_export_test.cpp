// The export on real databases: what the journal's entries become in the payload, which entries
// are marked, the size limit, the stale-mark clearing, the snapshot and the error path.
#include "engine/change_export.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/fb/statement.h"
#include "export_fixture.h"
#include "util/cp1250.h"

namespace tramolin::testing {
namespace {

using ChangeExportTest = ExportFixture;

std::string Mark(const PreparedChanges& changes) {
  return "IDTRANSAKCJI=" + std::to_string(changes.transaction_number);
}

TEST_F(ChangeExportTest, NoPendingEntriesGiveTheHeaderAloneAndStillATransactionNumber) {
  Open();
  const PreparedChanges changes = Prepare();
  EXPECT_EQ(changes.payload, "0;0;");
  EXPECT_EQ(changes.count, 0);
  EXPECT_GT(changes.transaction_number, 0);
  EXPECT_FALSE(Internals(*db_).IBTGetData().Active());
  const std::string trnid = std::to_string(changes.transaction_number);
  EXPECT_EQ(host_.CountLines("0 PREP RA1=0 IDREPKOPIE=1 TRNID=" + trnid), 1);
  EXPECT_EQ(host_.CountLines("1 ILZM=0 ILNZM=0 CNT=0 CNTN=0"), 1);  // the count's own line
  EXPECT_EQ(host_.CountLines("0 PREP CNT=0/0"), 1);
  EXPECT_EQ(host_.progress[0], 0);
}

TEST_F(ChangeExportTest, EachRecordTravelsOnceWithItsStrongestChange) {
  Open();
  Sql("INSERT INTO TOWARY (ID, CENA, NAZWA) VALUES (512, 12.5, 'Sruba')");
  Sql("UPDATE TOWARY SET NAZWA = 'Sruba' WHERE ID = 512");
  Sql("INSERT INTO TOWARY (ID) VALUES (513)");
  for (int i = 0; i < 3; ++i) Sql("UPDATE TOWARY SET CENA = 1 WHERE ID = 513");
  Sql("DELETE FROM TOWARY WHERE ID = 513");
  const PreparedChanges changes = Prepare();
  EXPECT_EQ(changes.payload, "2;7;512;29;1;3;CENA;2;12.5;ID;1;512;NAZWA;0;5;Sruba;513;29;2;");
  EXPECT_EQ(changes.count, 2);
  EXPECT_EQ(changes.total, 7);
  EXPECT_EQ(Count("IDREPKOPIE = 1 AND " + Mark(changes)), 7);
  EXPECT_EQ(Count("IDREPKOPIE = 2 AND IDTRANSAKCJI = 0"), 7);  // the other copy's are untouched
  EXPECT_EQ(host_.CountLines("0 PREP IT=29 IR=512 TZ=1 RA2=2"), 1);
  EXPECT_EQ(host_.CountLines("0 PREP IT=29 IR=513 TZ=2 RA2=5"), 1);
}

TEST_F(ChangeExportTest, EntriesWithoutARecordToSendAreCountedAndMarked) {
  Open();
  Entry(1, 29, 999, 1);  // the record has vanished
  Entry(1, 137, 5, 0);   // a table the catalogue does not know
  Entry(1, -1, 6, 1);
  const PreparedChanges changes = Prepare();
  EXPECT_EQ(changes.payload, "3;3;");
  EXPECT_EQ(Count(Mark(changes)), 3);
  EXPECT_TRUE(Confirm(changes));
  EXPECT_EQ(Count("IDREPKOPIE = 1"), 0);
}

TEST_F(ChangeExportTest, TwoPrioritiesGiveTwoRowsTheHigherFirst) {
  Open();
  Sql("INSERT INTO TOWARY (ID) VALUES (7)");    // priority 7
  Sql("INSERT INTO OPERATOR (ID) VALUES (8)");  // priority 9
  Entry(1, 29, 7, 1, 9);
  const PreparedChanges changes = Prepare();
  EXPECT_EQ(changes.payload, "3;3;8;22;0;1;ID;1;8;7;29;1;1;ID;1;7;7;29;0;1;ID;1;7;");
}

TEST_F(ChangeExportTest, ARecordChangedAgainFarDownTheJournalTravelsOnceAtItsFirstEntry) {
  Open();
  for (int id = 1; id <= 40; ++id)
    Sql("INSERT INTO OPERATOR (ID) VALUES (" + std::to_string(id) + ")");
  Sql("UPDATE OPERATOR SET NAZWA = 'x' WHERE ID = 1");
  const PreparedChanges changes = Prepare();
  EXPECT_EQ(changes.count, 40);
  EXPECT_EQ(changes.payload.rfind("40;41;1;22;1;", 0), 0u) << changes.payload.substr(0, 40);
  EXPECT_EQ(Count("IDTRANSAKCJI <> 0"), 41);
}

TEST_F(ChangeExportTest, NewOnlyLeavesUpdateOnlyRecordsForLater) {
  Open();
  Sql("INSERT INTO TOWARY (ID) VALUES (1)");
  Sql("DELETE FROM REPZMIANY");
  Sql("UPDATE TOWARY SET CENA = 2 WHERE ID = 1");
  Sql("INSERT INTO TOWARY (ID) VALUES (2)");
  Sql("UPDATE TOWARY SET CENA = 3 WHERE ID = 2");
  const PreparedChanges changes = Prepare(1, true);
  EXPECT_EQ(changes.payload, "1;3;2;29;1;2;CENA;2;3;ID;1;2;");
  EXPECT_EQ(Count("IDREPKOPIE = 1 AND IDREKORDU = 1 AND IDTRANSAKCJI = 0"), 1);
  EXPECT_EQ(export_->CountChanges(1).new_count, 1);
}

TEST_F(ChangeExportTest, ABatchStopsAfterTheRecordThatPassesTheLimit) {
  Open();
  {
    TestConnection db(path_);
    db.transaction.Start();
    fb::Statement insert(db.transaction, "INSERT INTO TOWARY (ID, ZDJECIE) VALUES (:ID, :Z)");
    for (int id = 1; id <= 4; ++id) {
      insert.ParamByName("ID").SetInt(id);
      insert.ParamByName("Z").SetBlob(std::string(400000, static_cast<char>('a' + id)));
      insert.Execute();
    }
    db.transaction.Commit();
  }
  const PreparedChanges changes = Prepare();
  EXPECT_EQ(changes.count, 3);
  EXPECT_GT(changes.payload.size(), kPayloadLimit);
  EXPECT_LT(changes.payload.size(), kPayloadLimit + 400100);
  EXPECT_EQ(Count(Mark(changes)), 3);
  EXPECT_EQ(Count("IDREPKOPIE = 1 AND IDREKORDU = 4 AND IDTRANSAKCJI = 0"), 1);
  EXPECT_TRUE(std::find(host_.history.begin(), host_.history.end(), 80) != host_.history.end());
  EXPECT_EQ(host_.history.back(), 0);
  // The rest goes with the next export.
  EXPECT_TRUE(Confirm(changes));
  EXPECT_EQ(Prepare().count, 1);
}

TEST_F(ChangeExportTest, ClosingTheProgramEndsTheBatchAsANormalResult) {
  Open();
  Sql("INSERT INTO TOWARY (ID) VALUES (1)");
  Sql("INSERT INTO TOWARY (ID) VALUES (2)");
  host_.closing = true;
  const PreparedChanges changes = Prepare();
  EXPECT_EQ(changes.payload, "1;2;1;29;0;1;ID;1;1;");
  EXPECT_EQ(Count("IDREKORDU = 2 AND IDREPKOPIE = 1 AND IDTRANSAKCJI = 0"), 1);
}

TEST_F(ChangeExportTest, AStaleMarkOfTheCurrentTransactionIsCleared) {
  Open();
  Sql("INSERT INTO TOWARY (ID) VALUES (1)");
  Sql("INSERT INTO TOWARY (ID) VALUES (2)");
  // An earlier life of this transaction number left record 2's entry marked with it.
  Internals(*db_).IBTGetData().Start();
  fb::Statement stale(
      Internals(*db_).IBTGetData(),
      "UPDATE REPZMIANY SET IDTRANSAKCJI = CURRENT_TRANSACTION WHERE IDREKORDU = 2");
  stale.Execute();
  host_.closing = true;  // only record 1 is exported
  const PreparedChanges changes = Prepare();
  EXPECT_EQ(changes.count, 1);
  EXPECT_EQ(host_.CountLines("0 PREP RA1=1 IDREPKOPIE=1"), 1);
  EXPECT_TRUE(Confirm(changes));
  EXPECT_EQ(Count("IDREPKOPIE = 1 AND IDREKORDU = 2"), 1);
}

TEST_F(ChangeExportTest, EntriesWrittenAfterTheSnapshotBeganSurviveTheConfirmation) {
  Open();
  Sql("INSERT INTO TOWARY (ID, NAZWA) VALUES (1, 'a')");
  bool changed = false;
  host_.on_progress = [&] {
    if (!changed && host_.history.size() == 2) {  // after the first record
      changed = true;
      Sql("UPDATE TOWARY SET NAZWA = 'b' WHERE ID = 1");
    }
  };
  const PreparedChanges changes = Prepare();
  ASSERT_TRUE(changed);
  EXPECT_EQ(changes.payload, "1;1;1;29;0;2;ID;1;1;NAZWA;0;1;a;");
  EXPECT_TRUE(Confirm(changes));
  EXPECT_EQ(Count("IDREPKOPIE = 1 AND TYPZMIANY = 1 AND IDTRANSAKCJI = 0"), 1);
  EXPECT_EQ(Count("IDREPKOPIE = 1"), 1);
}

TEST_F(ChangeExportTest, AFailedRecordRollsTheWholeExportBack) {
  Open();
  Sql("INSERT INTO TOWARY (ID) VALUES (1)");
  Sql("DROP TABLE KSEF");
  Entry(1, 128, 3, 1, 1);
  PreparedChanges changes;
  EXPECT_FALSE(export_->PrepareChanges(1, false, 4, changes));
  EXPECT_EQ(changes.payload, "");
  EXPECT_FALSE(Internals(*db_).IBTGetData().Active());
  EXPECT_EQ(Count("IDTRANSAKCJI <> 0"), 0);
  EXPECT_EQ(host_.GetErrorText(4).rfind("PrzygotujRekord(3,128,1){012345} \"", 0), 0u)
      << host_.GetErrorText(4);
  const std::string headline("Wystąpił błąd w czasie przygotowywania danych dla bazy nr 1:\r\n"_cp);
  ASSERT_EQ(host_.CountLines(headline), 1);
  EXPECT_EQ(host_.lines.back().text, headline + host_.GetErrorText(4));
  EXPECT_EQ(host_.lines.back().level, kLogError);
  EXPECT_EQ(host_.CountLines("4 ROLLB:PrzygotujRekord("), 1);
  EXPECT_EQ(host_.progress[4], 0);
}

TEST_F(ChangeExportTest, AMarkingConflictWithAnotherConnectionFailsAtOnce) {
  Open();
  Sql("INSERT INTO TOWARY (ID) VALUES (1)");
  TestConnection other(path_);
  other.transaction.Start();
  fb::Statement lock(other.transaction, "UPDATE REPZMIANY SET PRIORYTET = PRIORYTET");
  lock.Execute();
  PreparedChanges changes;
  EXPECT_FALSE(export_->PrepareChanges(1, false, 0, changes));
  EXPECT_FALSE(Internals(*db_).IBTGetData().Active());
  EXPECT_NE(host_.GetErrorText(0), "");
}

TEST_F(ChangeExportTest, CountsAllAndNewEntriesOfOneDestination) {
  Open();
  Sql("INSERT INTO TOWARY (ID) VALUES (1)");
  Sql("UPDATE TOWARY SET CENA = 1 WHERE ID = 1");
  Entry(2, 29, 1, 0);
  const ChangeCounts counts = export_->CountChanges(1);
  EXPECT_EQ(counts.all, 2);
  EXPECT_EQ(counts.new_count, 1);
  EXPECT_EQ(host_.CountLines("1 ILZM=2 ILNZM=1"), 1);
  EXPECT_EQ(export_->CountChanges(7).all, 0);  // NULL sum reads as 0
  db_->DisconnectDatabase(true);
  const ChangeCounts failed = export_->CountChanges(1);
  EXPECT_EQ(failed.all, 0);
  EXPECT_EQ(failed.new_count, 0);
}

TEST_F(ChangeExportTest, AClientExportsToTheMainDatabaseFromItsCopy) {
  Open("copy1.fdb");
  Sql("INSERT INTO KONTRAHENT (ID, NAZWA) VALUES (10500001, 'Kowalski')");
  const PreparedChanges changes = Prepare(0, false, -1);
  EXPECT_EQ(changes.payload.substr(0, 4), "1;1;");
  EXPECT_NE(changes.payload.find("NAZWA;0;8;Kowalski;"), std::string::npos);
  host_.slot_last_trans_id = changes.transaction_number;
  EXPECT_EQ(cleanup_->DeleteJournalEntries(-1), 1);
  EXPECT_EQ(Count("1 = 1"), 0);
}

TEST_F(ChangeExportTest, AnUnreachableDatabaseGivesFalseWithoutALogLine) {
  DatabaseSettings settings;
  settings.server = "";
  settings.directory = Dir().string();
  settings.file = "missing.fdb";
  TDMDB db(host_, host_, pass_dm_, settings);
  TChangeExport missing(db, host_, host_);
  PreparedChanges changes;
  changes.payload = "old";
  EXPECT_FALSE(missing.PrepareChanges(1, false, -1, changes));
  EXPECT_EQ(changes.payload, "");
  EXPECT_EQ(host_.CountLines("Wystąpił"_cp), 0);
}

}  // namespace
}  // namespace tramolin::testing
