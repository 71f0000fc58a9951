// A table's digests read from real databases: the same records digest the same on the main
// database and a copy, each kind of difference shows, a digest is that of the export's text, and
// records with pending journal entries for the destination are held back as in flight.
#include "engine/table_digest.h"

#include <gtest/gtest.h>

#include <map>

#include "engine/record_reader.h"
#include "engine_fixture.h"

namespace tramolin::testing {
namespace {

using fb::TransactionItem;
constexpr std::int32_t kTowary = 29;

class TableDigestTest : public EngineFixture {
 protected:
  struct Db {
    explicit Db(const std::string& path) {
      attachment.Open(path, AdminParams());
      tool_transaction.Start();
      LoadDecimalFields(tool, decimals);
      tool_transaction.Commit();
    }
    fb::Attachment attachment;
    fb::Transaction tool_transaction{attachment, {TransactionItem::kConcurrency}};
    fb::Statement tool{tool_transaction};
    TDecimalManager decimals;
  };

  // Rows written without leaving journal entries behind.
  void Towary(const std::string& path, std::initializer_list<std::string_view> values) {
    for (std::string_view row : values) {
      Exec(path, "INSERT INTO TOWARY (ID, NAZWA, CENA, DATAUTW) VALUES (" + std::string(row) + ")");
    }
    Exec(path, "DELETE FROM REPZMIANY");
  }

  std::map<std::int32_t, std::uint64_t> Digests(const std::string& path, int destination = 0) {
    Db db(path);
    const TableDigests digests = ReadTableDigests(db.attachment, db.decimals, kTowary, destination);
    std::map<std::int32_t, std::uint64_t> by_id;
    for (const RecordDigest& record : digests.records) by_id[record.id] = record.digest;
    return by_id;
  }
};

TEST_F(TableDigestTest, EqualRecordsDigestEquallyAndEveryDifferenceShows) {
  Towary(MainPath(), {"1, 'Sruba', 1.5, '2024-01-02 10:00'", "2, '', 2, NULL", "3, 'x', 3, NULL",
                      "4, 'x', 4, NULL"});
  Towary(CopyPath(1), {"1, 'Sruba', 1.5, '2024-01-02 10:00'", "2, NULL, 2, NULL",
                       "3, 'x', 3.0000001, NULL", "5, 'x', 4, NULL"});
  const auto main = Digests(MainPath(), 1);
  const auto copy = Digests(CopyPath(1));
  ASSERT_EQ(main.size(), 4u);
  ASSERT_EQ(copy.size(), 4u);
  EXPECT_EQ(main.at(1), copy.at(1));
  EXPECT_NE(main.at(2), copy.at(2));  // empty against NULL
  EXPECT_NE(main.at(3), copy.at(3));
  EXPECT_FALSE(copy.contains(4));
  EXPECT_FALSE(main.contains(5));
  EXPECT_NE(main.at(4), copy.at(5));  // the id is part of the text

  Db db(MainPath());
  fb::Transaction get_data(db.attachment, {TransactionItem::kConcurrency});
  TRecordReader reader(get_data, db.decimals);
  EXPECT_EQ(main.at(2), RecordTextDigest(reader.PrzygotujRekord(2, kTowary, true, kChangeInsert,
                                                                NullColumns::kWritten)));
}

TEST_F(TableDigestTest, RecordsWithEntriesPendingForTheDestinationAreInFlight) {
  Towary(MainPath(), {"1, 'a', 1, NULL", "2, 'b', 2, NULL", "3, 'c', 3, NULL"});
  Exec(MainPath(), "UPDATE TOWARY SET NAZWA = 'B' WHERE ID = 2");  // journalled for copies 1, 2
  Exec(MainPath(), "DELETE FROM REPZMIANY WHERE IDREPKOPIE <> 1");
  Exec(MainPath(),
       "INSERT INTO REPZMIANY (ID, IDREPKOPIE, IDTABELI, IDREKORDU, TYPZMIANY) "
       "VALUES (GEN_ID(REPZMIANY_ID, 1), 1, 29, 9, 2)");  // a deleted record
  Exec(MainPath(),
       "INSERT INTO REPZMIANY (ID, IDREPKOPIE, IDTABELI, IDREKORDU, TYPZMIANY) "
       "VALUES (GEN_ID(REPZMIANY_ID, 1), 1, 25, 3, 1)");  // another table

  Db db(MainPath());
  const TableDigests for_copy1 = ReadTableDigests(db.attachment, db.decimals, kTowary, 1);
  EXPECT_EQ(for_copy1.in_flight, (std::vector<std::int32_t>{2, 9}));
  ASSERT_EQ(for_copy1.records.size(), 2u);
  EXPECT_EQ(for_copy1.records[0].id, 1);
  EXPECT_EQ(for_copy1.records[1].id, 3);
  const TableDigests for_copy2 = ReadTableDigests(db.attachment, db.decimals, kTowary, 2);
  EXPECT_TRUE(for_copy2.in_flight.empty());
  EXPECT_EQ(for_copy2.records.size(), 3u);
  EXPECT_THROW(ReadTableDigests(db.attachment, db.decimals, 500, 1), TableDigestError);
}

}  // namespace
}  // namespace tramolin::testing
