// A technician's SQL on this database: one-line answers, committed at once, bounded in size.
#include "engine/remote_sql.h"

#include <optional>

#include "host_fixture.h"
#include "util/cp1250.h"

namespace tramolin::testing {
namespace {

class RemoteSqlTest : public HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    Sql("INSERT INTO TOWARY (ID, NAZWA) VALUES (1, 'Młotek')"_cp);
    Sql("INSERT INTO TOWARY (ID, NAZWA) VALUES (2, 'Piła')"_cp);
    Open();
    sql_.emplace(*db_, host_, host_);
  }
  void TearDown() override {
    sql_.reset();
    HostFixture::TearDown();
  }

  std::string Answer(std::string_view text) {
    std::string answer = "stale";
    sql_->ExecuteSQL(text, answer);
    EXPECT_FALSE(Internals(*db_).IBTSQL().Active()) << text;
    return answer;
  }
  // What the database itself says to the text.
  std::string DatabaseError(std::string_view text) {
    TestConnection db(MainPath());
    db.transaction.Start();
    try {
      fb::Statement(db.transaction, text).Execute();
    } catch (const fb::Error& error) {
      return error.what();
    }
    return "no error";
  }

  std::optional<TRemoteSql> sql_;
};

TEST_F(RemoteSqlTest, AnswersQueriesStatementsAndFailuresInOneLine) {
  const std::string unknown_table = DatabaseError("SELECT * FROM BRAKTABELI");
  const std::string null_key = DatabaseError("UPDATE TOWARY SET ID = NULL");
  const std::pair<std::string, std::string> cases[] = {
      {"SELECT NAZWA FROM TOWARY ORDER BY ID", std::string("[RC=2] \"Młotek\""_cp)},
      {"  select count(*) from towary", "[RC=1] \"2\""},
      {"SELECT NAZWA FROM TOWARY WHERE ID < 0", "[RC=0] \"\""},
      {"", "puste zapytanie SQL"},
      {" \r\n ", "puste zapytanie SQL"},
      {"DELETE FROM TOWARY WHERE ID < 0", "[RA=0]"},
      {"SELECT * FROM BRAKTABELI", unknown_table},
      {"UPDATE TOWARY SET ID = NULL", null_key},
      {"UPDATE TOWARY SET JM = 'szt'", "[RA=2]"},
  };
  for (const auto& [text, answer] : cases) EXPECT_EQ(Answer(text), answer) << text;
  EXPECT_EQ(Count("TOWARY WHERE JM = 'szt'"), 2);  // committed at once
}

TEST_F(RemoteSqlTest, LargeAnswersAreCutAndSaySo) {
  ASSERT_GT(Count("RDB$RELATION_FIELDS"), 317);  // its square is above the row cap
  const std::string rows = "SELECT 1 FROM RDB$RELATION_FIELDS A CROSS JOIN RDB$RELATION_FIELDS B";
  EXPECT_EQ(Answer(rows), "[RC>100000] \"1\"");
  EXPECT_EQ(Answer("SELECT FIRST 100000 1 FROM RDB$RELATION_FIELDS A, RDB$RELATION_FIELDS B"),
            "[RC=100000] \"1\"");

  TestConnection db(MainPath());
  db.transaction.Start();
  fb::Statement insert(db.transaction, "INSERT INTO ZALACZNIKI (ID, ZALACZNIK) VALUES (:ID, :Z)");
  for (int size : {65536, 65537}) {
    insert.ParamByName("ID").SetInt(size);
    insert.ParamByName("Z").SetBlob(std::string(static_cast<std::size_t>(size), 'x'));
    insert.Execute();
  }
  db.transaction.Commit();
  const std::string cap(65536, 'x');
  EXPECT_EQ(Answer("SELECT ZALACZNIK FROM ZALACZNIKI WHERE ID = 65536"), "[RC=1] \"" + cap + "\"");
  EXPECT_EQ(Answer("SELECT ZALACZNIK FROM ZALACZNIKI WHERE ID = 65537"),
            "[RC=1] \"" + cap + "\" [TXT>65536]");
}

TEST_F(RemoteSqlTest, MissingDatabaseAnswersWithTheConnectionError) {
  sql_.reset();
  Open("brak.fdb");
  sql_.emplace(*db_, host_, host_);
  const std::string answer = Answer("SELECT 1 FROM RDB$DATABASE");
  EXPECT_FALSE(host_.GetErrorText(-1).empty());
  EXPECT_EQ(answer, "Brak połączenia z bazą danych"_cp + host_.GetErrorText(-1));
}

}  // namespace
}  // namespace tramolin::testing
