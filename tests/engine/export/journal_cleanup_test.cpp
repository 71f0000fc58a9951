// The journal clean-up on real databases: which entries a confirmation deletes, which stay, and
// how a failed delete is reported.
#include "engine/journal_cleanup.h"

#include <gtest/gtest.h>

#include "engine/fb/statement.h"
#include "engine/journal_repair.h"
#include "export_fixture.h"
#include "util/cp1250.h"

namespace tramolin::testing {
namespace {

using JournalCleanupTest = ExportFixture;

TEST_F(JournalCleanupTest, OnlyTheEntriesOfTheConfirmedExportGo) {
  Open();
  Sql("INSERT INTO TOWARY (ID) VALUES (1)");
  Sql("INSERT INTO TOWARY (ID) VALUES (2)");
  const PreparedChanges first = Prepare();
  host_.closing = true;  // the second export reaches record 1 only
  const PreparedChanges second = Prepare();
  host_.closing = false;
  ASSERT_NE(first.transaction_number, second.transaction_number);
  EXPECT_TRUE(Confirm(first));  // too late: its entries were exported again or are still its own
  EXPECT_EQ(Count("IDREPKOPIE = 1"), 1);
  EXPECT_EQ(Count("IDREPKOPIE = 1 AND IDREKORDU = 2"), 0);
  EXPECT_TRUE(Confirm(second));
  EXPECT_EQ(Count("IDREPKOPIE = 1"), 0);
  EXPECT_EQ(Count("IDREPKOPIE = 2"), 2);
  EXPECT_EQ(host_.CountLines("0 DEL IDREPKOPIE=1 REPZM=1"), 2);
}

// As an import does: its changes journalled for the sender and deleted again.
TEST_F(JournalCleanupTest, TheSweepAfterAnImportClearsAwayTheEntriesItDeleted) {
  Open();
  for (int record = 1; record <= 40; ++record) {
    Entry(1, 29, record, 1);
    Entry(2, 29, record, 1);
  }
  Sql("DELETE FROM REPZMIANY WHERE IDREPKOPIE = 1");
  const auto expunged = [this] {
    return QueryInt(path_,
                    "SELECT R.MON$RECORD_EXPUNGES FROM MON$RECORD_STATS R JOIN MON$DATABASE D "
                    "ON R.MON$STAT_ID = D.MON$STAT_ID");
  };
  const long long before = expunged();
  RecordsByTable records{{29, {}}};
  for (int record = 1; record <= 40; ++record) records[29].push_back(record);
  cleanup_->SweepImportedEntries(1, records);
  EXPECT_EQ(expunged() - before, 40);
  EXPECT_EQ(Count("IDREPKOPIE = 2"), 40);
}

TEST_F(JournalCleanupTest, UnconfirmedEntriesAreExportedAgainAndDeletedByTheLaterConfirmation) {
  Open();
  Sql("INSERT INTO TOWARY (ID) VALUES (1)");
  Sql("INSERT INTO TOWARY (ID) VALUES (2)");
  Prepare();
  host_.closing = true;
  const PreparedChanges second = Prepare();
  host_.closing = false;
  EXPECT_TRUE(Confirm(second));
  // Record 2 keeps the first export's mark and goes with the third.
  const PreparedChanges third = Prepare();
  EXPECT_EQ(third.payload, "1;1;2;29;0;1;ID;1;2;");
  EXPECT_TRUE(Confirm(third));
  EXPECT_EQ(Count("IDREPKOPIE = 1"), 0);
}

TEST_F(JournalCleanupTest, ASlotThatDoesNotExistDeletesNothing) {
  Open();
  Sql("INSERT INTO TOWARY (ID) VALUES (1)");
  Prepare();
  host_.slot_dbnr = -1;
  host_.slot_last_trans_id = -1;
  EXPECT_EQ(cleanup_->DeleteJournalEntries(3), 0);
  EXPECT_EQ(Count("1 = 1"), 2);
  EXPECT_EQ(host_.CountLines("3 DEL IDREPKOPIE=-1 REPZM=0"), 1);
}

TEST_F(JournalCleanupTest, AFailedDeleteIsRolledBackAndNamesTheStepItReached) {
  Open();
  Sql("INSERT INTO TOWARY (ID) VALUES (1)");
  const PreparedChanges changes = Prepare();
  TestConnection other(path_);
  other.transaction.Start();
  fb::Statement lock(other.transaction, "UPDATE REPZMIANY SET PRIORYTET = 1");
  lock.Execute();
  EXPECT_FALSE(Confirm(changes));
  EXPECT_FALSE(Internals(*db_).IBT_REPZMIANY_Delete2().Active());
  const std::string error = host_.GetErrorText(0);
  ASSERT_GE(error.size(), 4u);
  EXPECT_EQ(error.substr(error.size() - 4), " [5]");
  EXPECT_EQ(host_.CountLines("0 ROLLB: "), 1);
  const std::string headline(
      "Wystąpił błąd w czasie usuwania wpisów z dziennika zmian bazy nr 1:\r\n"_cp);
  EXPECT_EQ(host_.lines.back().text, headline + error);
  EXPECT_EQ(host_.lines.back().level, kLogError);
  other.transaction.Rollback();
  EXPECT_TRUE(Confirm(changes));  // the entries stayed and go now
  EXPECT_EQ(Count("IDREPKOPIE = 1"), 0);
}

TEST_F(JournalCleanupTest, AnUnreachableDatabaseGivesFalse) {
  Open();
  std::filesystem::remove(path_);
  db_->DisconnectDatabase(true);
  EXPECT_FALSE(cleanup_->DeleteJournalEntries(0));
}

// A repair's entries go to one copy only and send the main database's version of each record:
// the record's text for one it has, a delete for one only the copy has.
TEST_F(JournalCleanupTest, ARepairJournalsAnUpdateOrADeleteForOneCopy) {
  Open();
  Sql("INSERT INTO TOWARY (ID) VALUES (7)");
  Sql("DELETE FROM REPZMIANY");
  EXPECT_EQ(JournalRepair(*db_, {2, 29, {7}, {8}}), 2);
  EXPECT_EQ(Count("IDREPKOPIE = 1"), 0);
  EXPECT_EQ(Prepare(2).payload, "2;2;7;29;1;1;ID;1;7;8;29;2;");
}

}  // namespace
}  // namespace tramolin::testing
