// The Firebird layer against real databases: values of every column type both ways, named
// parameters, transactions, a killed connection, events.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "engine/fb/error.h"
#include "engine/fb/events.h"
#include "engine_fixture.h"
#include "event_collector.h"
#include "util/cp1250.h"

namespace tramolin::testing {
namespace {

using fb::ResultSet;
using fb::Statement;
using fb::TransactionItem;

class FbLayerTest : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    db_ = std::make_unique<TestConnection>(MainPath());
    db_->transaction.Start();
  }
  void TearDown() override {
    db_.reset();
    EngineFixture::TearDown();
  }
  fb::Transaction& tx() { return db_->transaction; }

  std::unique_ptr<TestConnection> db_;
};

TEST_F(FbLayerTest, EveryColumnTypeRoundTripsThroughParametersAndResults) {
  const std::string polish("Zażółć gęślą jaźń"_cp);
  const std::string binary("a\0b;\xff", 5);
  Statement insert(tx(),
                   "INSERT INTO TOWARY (ID, NAZWA, CENA, CENAZAKUPU, KOD, STAWKAVAT, IDGRUPY, "
                   "DATAUTW, OPIS, ZDJECIE) VALUES (:ID, :NAZWA, :CENA, :CENAZAKUPU, :KOD, "
                   ":STAWKAVAT, :IDGRUPY, :DATAUTW, :OPIS, :ZDJECIE)");
  insert.ParamByName("ID").SetInt(512);
  insert.ParamByName("NAZWA").SetString(polish);
  insert.ParamByName("CENA").SetDouble(12.5);
  insert.ParamByName("CENAZAKUPU").SetDouble(7.25);
  insert.ParamByName("KOD").SetString("AB");
  insert.ParamByName("STAWKAVAT").SetInt(23);
  insert.ParamByName("DATAUTW").SetDateTime(45123.5);
  insert.ParamByName("OPIS").SetString(polish + "\r\n;");
  insert.ParamByName("ZDJECIE").SetBlob(binary);
  insert.Execute();
  EXPECT_EQ(insert.RowsAffected(), 1);

  Statement select(tx(), "SELECT * FROM TOWARY WHERE ID = :ID");
  select.ParamByName("ID").SetInt(512);
  ResultSet row = select.Open();
  ASSERT_TRUE(row.Next());
  EXPECT_EQ(row.GetInt("ID"), 512);
  EXPECT_EQ(row.GetString("NAZWA"), polish);
  EXPECT_DOUBLE_EQ(row.GetDouble("CENA"), 12.5);
  EXPECT_DOUBLE_EQ(row.GetDouble("CENAZAKUPU"), 7.25);
  EXPECT_EQ(row.GetString("KOD"), "AB" + std::string(18, ' '));  // CHAR keeps its padding
  EXPECT_EQ(row.GetInt("STAWKAVAT"), 23);
  EXPECT_TRUE(row.IsNull("IDGRUPY"));
  EXPECT_EQ(row.GetInt("IDGRUPY"), 0);
  EXPECT_DOUBLE_EQ(row.GetDateTime("DATAUTW"), 45123.5);
  EXPECT_EQ(row.GetBytes("OPIS"), polish + "\r\n;");
  EXPECT_EQ(row.GetBytes("ZDJECIE"), binary);
  EXPECT_FALSE(row.Next());
}

TEST_F(FbLayerTest, TheFirstAndLastStorableMomentsAreStored) {
  Statement echo(tx(), "SELECT CAST(CAST(:T AS TIMESTAMP) AS VARCHAR(24)) FROM RDB$DATABASE");
  for (const auto& [day_count, text] : {std::pair{-693593.0, "01-JAN-0001"},
                                        std::pair{2958465.99999, "31-DEC-9999 23:59:59.136"}}) {
    echo.ParamByName("T").SetDateTime(day_count);
    ResultSet row = echo.Open();
    ASSERT_TRUE(row.Next());
    EXPECT_EQ(row.GetString(0), text);
  }
}

TEST_F(FbLayerTest, ColumnsDescribeTheirStoredTypes) {
  Statement select(tx(),
                   "SELECT ID, NAZWA, CENA, CENAZAKUPU, KOD, STAWKAVAT, DATAUTW, OPIS, ZDJECIE "
                   "FROM TOWARY");
  ResultSet rows = select.Open();
  ASSERT_EQ(rows.ColumnCount(), 9);
  EXPECT_EQ(rows.Column(0).type, fb::SqlType::kLong);
  EXPECT_EQ(rows.Column(1).type, fb::SqlType::kVarying);
  EXPECT_EQ(rows.Column(2).type, fb::SqlType::kDouble);
  EXPECT_EQ(rows.Column(3).type, fb::SqlType::kDouble);  // NUMERIC(18,2) in dialect 1
  EXPECT_EQ(rows.Column(4).type, fb::SqlType::kText);
  EXPECT_EQ(rows.Column(5).type, fb::SqlType::kShort);
  EXPECT_EQ(rows.Column(6).type, fb::SqlType::kTimestamp);
  EXPECT_EQ(rows.Column(7).type, fb::SqlType::kBlob);
  EXPECT_EQ(rows.Column(7).sub_type, 1);
  EXPECT_EQ(rows.Column(8).sub_type, 0);
  EXPECT_EQ(rows.Column(1).relation, "TOWARY");
}

TEST_F(FbLayerTest, AliasesNameColumnsAndLookupIgnoresCase) {
  Statement select(tx(), "SELECT CAST(1.5 AS DOUBLE PRECISION) CENA$, 7 ID FROM RDB$DATABASE");
  ResultSet row = select.Open();
  ASSERT_TRUE(row.Next());
  EXPECT_EQ(row.Column(0).name, "CENA$");
  EXPECT_EQ(row.IndexOf("cena$"), 0);
  EXPECT_DOUBLE_EQ(row.GetDouble("id"), 7.0);
  EXPECT_THROW(row.IndexOf("NOPE"), fb::Error);
}

TEST_F(FbLayerTest, ARepeatedNameIsOneParameterWithOneValue) {
  Exec(MainPath(), "INSERT INTO SLOWNIK (ID, NAZWA) VALUES (5, 'a')");
  Statement update(tx(), " UPDATE SLOWNIK SET ID=:ID,NAZWA=:NAZWA WHERE ID=:ID");
  ASSERT_EQ(update.ParamCount(), 2u);
  update.ParamAt(0).SetInt(5);
  update.ParamAt(1).SetString("b");
  update.Execute();
  EXPECT_EQ(update.RowsAffected(), 1);
  EXPECT_THROW(update.ParamByName("MISSING"), fb::Error);
  // Values of other lengths and kinds in the same statement: a text beyond the column fails, and
  // the executions around it store exactly their own values.
  update.ParamAt(1).SetString(std::string(101, 'x'));
  EXPECT_THROW(update.Execute(), fb::Error);
  Statement fresh(tx(), update.Sql());  // refused before its first format stood
  fresh.ParamAt(0).SetInt(5);
  fresh.ParamAt(1).SetString(std::string(40'000, 'x'));
  EXPECT_THROW(fresh.Execute(), fb::Error);
  fresh.ParamAt(1).SetString("d");
  fresh.Execute();
  for (const std::string& text : {std::string(100, 'y'), std::string("cc")}) {
    update.ParamAt(1).SetString(text);
    update.Execute();
    Statement read(tx(), "SELECT NAZWA FROM SLOWNIK WHERE ID = 5");
    ResultSet row = read.Open();
    ASSERT_TRUE(row.Next());
    EXPECT_EQ(row.GetString(0), text);
  }
}

TEST_F(FbLayerTest, UnsetParametersAreNullAndTextConvertsToTheDeclaredType) {
  Statement insert(tx(), "INSERT INTO SLOWNIK (ID, NAZWA, STATUS) VALUES (:ID, :NAZWA, :STATUS)");
  insert.ParamByName("ID").SetString("77");
  insert.ParamByName("STATUS").SetString("3");
  insert.Execute();
  Statement select(tx(), "SELECT NAZWA, STATUS FROM SLOWNIK WHERE ID = 77");
  ResultSet row = select.Open();
  ASSERT_TRUE(row.Next());
  EXPECT_TRUE(row.IsNull("NAZWA"));
  EXPECT_EQ(row.GetInt("STATUS"), 3);
  // The same statement again with a number written in 51 characters, near the longest taken.
  insert.ParamByName("ID").SetString("78");
  insert.ParamByName("STATUS").SetString(std::string(50, '0') + "4");
  insert.Execute();
  Statement again(tx(), "SELECT STATUS FROM SLOWNIK WHERE ID = 78");
  ResultSet stored = again.Open();
  ASSERT_TRUE(stored.Next());
  EXPECT_EQ(stored.GetInt(0), 4);
}

TEST_F(FbLayerTest, EachNullFlagBelongsToItsOwnColumnAndRow) {
  // Row n has column n NULL and every other column set; the last row has all of them NULL.
  const std::vector<std::pair<std::string, std::string>> columns = {
      {"NAZWA", "n"},     {"CENA", "1.5"},  {"CENAZAKUPU", "2.25"},    {"KOD", "K"},
      {"STAWKAVAT", "3"}, {"IDGRUPY", "4"}, {"DATAUTW", "2023-07-16"}, {"OPIS", "o"},
      {"ZDJECIE", "z"}};
  Statement insert(tx(),
                   "INSERT INTO TOWARY (ID, NAZWA, CENA, CENAZAKUPU, KOD, STAWKAVAT, IDGRUPY, "
                   "DATAUTW, OPIS, ZDJECIE) VALUES (:ID, :NAZWA, :CENA, :CENAZAKUPU, :KOD, "
                   ":STAWKAVAT, :IDGRUPY, :DATAUTW, :OPIS, :ZDJECIE)");
  for (std::size_t row = 0; row <= columns.size(); ++row) {
    insert.ParamByName("ID").SetInt(static_cast<std::int64_t>(row));
    for (std::size_t i = 0; i < columns.size(); ++i) {
      auto param = insert.ParamByName(columns[i].first);
      if (i == row || row == columns.size()) {
        param.SetNull();
      } else {
        param.SetString(columns[i].second);
      }
    }
    insert.Execute();
  }
  Statement select(tx(),
                   "SELECT ID, NAZWA, CENA, CENAZAKUPU, KOD, STAWKAVAT, IDGRUPY, DATAUTW, OPIS, "
                   "ZDJECIE FROM TOWARY ORDER BY ID");
  ResultSet rows = select.Open();
  for (std::size_t row = 0; row <= columns.size(); ++row) {
    ASSERT_TRUE(rows.Next());
    EXPECT_FALSE(rows.IsNull("ID"));
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const bool null = i == row || row == columns.size();
      EXPECT_EQ(rows.IsNull(columns[i].first), null) << "row " << row << " " << columns[i].first;
      if (null) {
        EXPECT_EQ(rows.GetString(columns[i].first), "");
      }
    }
  }
  EXPECT_FALSE(rows.Next());
  EXPECT_THROW(rows.IsNull(0), fb::Error);  // no current row after the end
}

TEST_F(FbLayerTest, ReadingAValueAsTheWrongKindFailsWithAnError) {
  Statement select(tx(), "SELECT 'abc', CAST('12' AS VARCHAR(5)) FROM RDB$DATABASE");
  ResultSet row = select.Open();
  ASSERT_TRUE(row.Next());
  EXPECT_THROW(row.GetInt(0), fb::Error);
  EXPECT_THROW(row.GetDateTime(0), fb::Error);
  EXPECT_EQ(row.GetInt(1), 12);
}

TEST_F(FbLayerTest, ReusingTheSameTextKeepsValuesAndANewTextDropsThem) {
  Statement statement(tx(), "SELECT CAST(:A AS INTEGER) FROM RDB$DATABASE");
  statement.ParamByName("A").SetInt(4);
  statement.SetSql("SELECT CAST(:A AS INTEGER) FROM RDB$DATABASE");
  {
    ResultSet row = statement.Open();
    ASSERT_TRUE(row.Next());
    EXPECT_EQ(row.GetInt(0), 4);
  }
  statement.SetSql("SELECT CAST(:B AS INTEGER) FROM RDB$DATABASE");
  EXPECT_EQ(statement.ParamName(0), "B");
  ResultSet row = statement.Open();
  ASSERT_TRUE(row.Next());
  EXPECT_TRUE(row.IsNull(0));
}

TEST_F(FbLayerTest, DatabaseErrorsCarryFirebirdsMessage) {
  Statement bad(tx(), "SELECT * FROM NO_SUCH_TABLE");
  try {
    bad.Open();
    FAIL() << "no error";
  } catch (const fb::Error& e) {
    EXPECT_NE(std::string(e.what()).find("NO_SUCH_TABLE"), std::string::npos) << e.what();
  }
  fb::Attachment missing;
  try {
    missing.Open((Dir() / "missing.fdb").string(), AdminParams());
    FAIL() << "no error";
  } catch (const fb::Error& e) {
    EXPECT_NE(std::string(e.what()).find("missing.fdb"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(missing.IsOpen());
}

TEST_F(FbLayerTest, TransactionHelpersTellWhetherTheyActed) {
  fb::Transaction other(db_->attachment, {TransactionItem::kConcurrency, TransactionItem::kNowait});
  EXPECT_TRUE(other.StartIfInactive());
  EXPECT_FALSE(other.StartIfInactive());
  EXPECT_TRUE(other.CommitIfActive());
  EXPECT_FALSE(other.CommitIfActive());
  EXPECT_FALSE(other.RollbackIfActive());
  EXPECT_THROW(other.Commit(), fb::Error);
}

TEST_F(FbLayerTest, AnActiveTransactionWhoseOwnerGoesAwayIsRolledBack) {
  {
    fb::Transaction scoped(db_->attachment,
                           {TransactionItem::kReadCommitted, TransactionItem::kRecVersion});
    scoped.Start();
    Statement insert(scoped, "INSERT INTO SLOWNIK (ID, NAZWA) VALUES (1, 'x')");
    insert.Execute();
  }
  EXPECT_EQ(QueryInt(MainPath(), "SELECT COUNT(*) FROM SLOWNIK"), 0);
}

TEST_F(FbLayerTest, NowaitMakesALockConflictFailAtOnce) {
  Exec(MainPath(), "INSERT INTO SLOWNIK (ID, NAZWA) VALUES (1, 'x')");
  Statement first(tx(), "UPDATE SLOWNIK SET NAZWA = 'a' WHERE ID = 1");
  first.Execute();
  TestConnection second(MainPath());
  second.transaction.Start();
  Statement update(second.transaction, "UPDATE SLOWNIK SET NAZWA = 'b' WHERE ID = 1");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(update.Execute(), fb::Error);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(FbLayerTest, AReadOnlyTransactionRefusesWrites) {
  fb::Transaction read(db_->attachment,
                       {TransactionItem::kReadCommitted, TransactionItem::kRecVersion,
                        TransactionItem::kNowait, TransactionItem::kRead});
  read.Start();
  Statement insert(read, "INSERT INTO SLOWNIK (ID) VALUES (2)");
  EXPECT_THROW(insert.Execute(), fb::Error);
}

TEST_F(FbLayerTest, AKilledConnectionIsNotAliveAndCanBeDroppedAndReopened) {
  EXPECT_TRUE(db_->attachment.IsAlive());
  const long long id = QueryInt(MainPath(), "SELECT COUNT(*) FROM RDB$DATABASE");
  ASSERT_EQ(id, 1);
  Statement own_id(tx(), "SELECT CURRENT_CONNECTION FROM RDB$DATABASE");
  ResultSet row = own_id.Open();
  ASSERT_TRUE(row.Next());
  const long long connection = row.GetInt(0);
  row.Close();
  Exec(MainPath(),
       "DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = " + std::to_string(connection));
  EXPECT_FALSE(db_->attachment.IsAlive());
  db_->attachment.ForceClose();
  EXPECT_FALSE(tx().Active());  // dropped with its connection
  db_->attachment.Open(MainPath(), AdminParams());
  EXPECT_TRUE(db_->attachment.IsAlive());
}

TEST_F(FbLayerTest, DetachRollsBackWhatIsStillActive) {
  Statement insert(tx(), "INSERT INTO SLOWNIK (ID, NAZWA) VALUES (3, 'x')");
  insert.Execute();
  db_->attachment.Detach();
  EXPECT_FALSE(db_->attachment.IsOpen());
  EXPECT_FALSE(tx().Active());
  EXPECT_EQ(QueryInt(MainPath(), "SELECT COUNT(*) FROM SLOWNIK"), 0);
}

TEST_F(FbLayerTest, PostedEventsReachTheHandlerWithTheirCounts) {
  EventCollector log;
  fb::EventSubscription events(
      db_->attachment, {"DBUPGRADE", "REPDIALOGINSERT"},
      [&](const std::string& name, unsigned count) { log.Add(name, count); });
  Exec(MainPath(), "INSERT INTO REPDIALOG (ID, STATUS) VALUES (1, 0)");
  EXPECT_EQ(log.WaitFor("REPDIALOGINSERT", 1), 1u);
  Exec(MainPath(), "EXECUTE PROCEDURE POST_DBUPGRADE");
  Exec(MainPath(), "EXECUTE PROCEDURE POST_DBUPGRADE");
  EXPECT_EQ(log.WaitFor("DBUPGRADE", 2), 2u);
  EXPECT_EQ(log.WaitFor("REPDIALOGINSERT", 1), 1u);
}

TEST_F(FbLayerTest, ClosingTheConnectionEndsTheSubscription) {
  EventCollector log;
  fb::EventSubscription events(
      db_->attachment, {"DBUPGRADE"},
      [&](const std::string& name, unsigned count) { log.Add(name, count); });
  db_->attachment.Detach();
  Exec(MainPath(), "EXECUTE PROCEDURE POST_DBUPGRADE");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(log.WaitFor("DBUPGRADE", 0), 0u);
}

}  // namespace
}  // namespace tramolin::testing
