// The pure parts of the import: id ranges, the identifier rule and the change statements.
#include "engine/change_statement.h"

#include <gtest/gtest.h>

#include "import_fixture.h"

namespace tramolin::testing {
namespace {

TEST(DatabaseNumberOfIdTest, MapsEachRangeToItsDatabase) {
  const struct {
    std::int64_t id;
    std::int32_t number;
  } cases[] = {{1, 0},        {10500000, 0}, {10500001, 1}, {10999999, 1},
               {11000000, 1}, {11000001, 2}, {-5, 0},       {35000001, 50}};
  for (const auto& c : cases) EXPECT_EQ(DatabaseNumberOfId(c.id), c.number) << c.id;
}

TEST(ColumnNameTest, OnlyPlainIdentifiersPass) {
  for (std::string_view good : {"ID", "nazwa", "_X", "CENA$", "USER512", "A_1$B"}) {
    EXPECT_TRUE(IsPlainIdentifier(good)) << good;
  }
  for (std::string_view bad :
       {"", "1ID", "ID) VALUES (1); --", "\"ID\"", "A B", "A-B", "A;B", "N\xa5ZWA"}) {
    EXPECT_FALSE(IsPlainIdentifier(bad)) << bad;
  }
  EXPECT_THROW(CheckColumnNames(Record(1, 0, 0, {IntegerField("ID", 1), IntegerField("id", 2)})),
               ColumnNameError);
  EXPECT_NO_THROW(CheckColumnNames(Record(1, 0, 0, {IntegerField("ID", 1), TextField("A", "")})));
}

class ChangeStatementTest : public ::testing::Test {
 protected:
  const TTableInfo& towary_ = *TableInfo(29);
};

TEST_F(ChangeStatementTest, OnlyTheColumnsTheRecordCarriesAreWrittenAnExplicitNullAmongThem) {
  const TRekord insert =
      Record(5, 29, kChangeInsert,
             {IntegerField("ID", 5), FloatField("CENA", 1), NullField("OPIS", FieldType::kText)});
  EXPECT_EQ(ChangeStatement(insert, towary_),
            " INSERT INTO TOWARY(ID,CENA,OPIS) VALUES (:ID,:CENA,:OPIS)");
  TRekord update = insert;
  update.change_type = kChangeUpdate;
  EXPECT_EQ(ChangeStatement(update, towary_),
            " UPDATE TOWARY SET ID=:ID,CENA=:CENA,OPIS=:OPIS WHERE ID=:ID");
}

TEST_F(ChangeStatementTest, NamesCompareWithoutLetterCaseAndEmptyRecordsGiveNoStatement) {
  const TRekord update =
      Record(5, 29, kChangeUpdate,
             {TextField("nazwa", "x"), FloatField("Cena", 1), BlobField("OPIS", "")});
  EXPECT_EQ(ChangeStatement(update, towary_),
            " UPDATE TOWARY SET nazwa=:nazwa,Cena=:Cena,OPIS=:OPIS WHERE ID=:ID");
  EXPECT_EQ(ChangeStatement(Record(5, 29, kChangeDelete), towary_),
            " DELETE FROM TOWARY WHERE ID=:ID");
  EXPECT_EQ(ChangeStatement(Record(5, 29, kChangeInsert), towary_), "");
  EXPECT_EQ(ChangeStatement(Record(5, 29, kChangeUpdate), towary_), "");
  EXPECT_EQ(ChangeStatement(Record(5, 29, -1, {IntegerField("ID", 5)}), towary_), "");
}

}  // namespace
}  // namespace tramolin::testing
