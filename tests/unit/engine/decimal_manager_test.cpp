#include "engine/decimal_manager.h"

#include <gtest/gtest.h>

#include "engine/record_text.h"

namespace tramolin {
namespace {

constexpr std::string_view kCenaPrefix = "CAST(X.CENA AS DECIMAL(18,18)) CENA$,";

class DecimalManagerTest : public ::testing::Test {
 protected:
  // The columns of a TOWARY row as the export statement returns them: aliases first.
  std::string ExportText(std::vector<TPole> row) {
    TRekord record{
        .record_id = 512, .table_number = 29, .change_type = kChangeUpdate, .fields = {}};
    const TDecimalInfo* decimals = decimals_.Find("TOWARY");
    for (TPole& column : row) AddExportColumn(record, decimals, std::move(column));
    return RecordText(record);
  }

  TDecimalManager decimals_;
};

TEST_F(DecimalManagerTest, PrefixReadsEachColumnAgainUnderItsAlias) {
  decimals_.AddDecimalField("TOWARY", "CENA");
  EXPECT_EQ(decimals_.DecimalSelectPrefix("TOWARY", "X"), kCenaPrefix);
  decimals_.AddDecimalField("TOWARY", "RABAT");
  EXPECT_EQ(decimals_.DecimalSelectPrefix("TOWARY", "X"),
            std::string(kCenaPrefix) + "CAST(X.RABAT AS DECIMAL(18,18)) RABAT$,");
  EXPECT_EQ(decimals_.DecimalSelectPrefix("TOWARY", "T"),
            "CAST(T.CENA AS DECIMAL(18,18)) CENA$,CAST(T.RABAT AS DECIMAL(18,18)) RABAT$,");
  EXPECT_EQ(decimals_.DecimalSelectPrefix("KONTRAHENT", "X"), "");
}

TEST_F(DecimalManagerTest, RecordIsReadWithItsAliasesFirst) {
  decimals_.AddDecimalField("TOWARY", "CENA");
  EXPECT_EQ(RecordSelectText(decimals_, "TOWARY", "ID"),
            "SELECT CAST(X.CENA AS DECIMAL(18,18)) CENA$,X.* FROM TOWARY X WHERE X.ID=:ID");
  EXPECT_EQ(RecordSelectText(decimals_, "BLOKADY", "IDBLOKADY"),
            "SELECT X.* FROM BLOKADY X WHERE X.IDBLOKADY=:ID");
  EXPECT_EQ(TableSelectText(decimals_, "TOWARY", "ID"),
            "SELECT CAST(X.CENA AS DECIMAL(18,18)) CENA$,X.* FROM TOWARY X ORDER BY X.ID");
}

TEST_F(DecimalManagerTest, LookupsIgnoreCaseAndBlankOrRepeatedNamesAddNothing) {
  decimals_.AddDecimalField("towary", "Cena");
  decimals_.AddDecimalField("TOWARY", "CENA");
  decimals_.AddDecimalField("TOWARY", " ");
  decimals_.AddDecimalField("", "CENA");
  EXPECT_TRUE(decimals_.IsDecimalField("TOWARY", "cena"));
  EXPECT_FALSE(decimals_.IsDecimalField("TOWARY", "ID"));
  EXPECT_FALSE(decimals_.IsDecimalField("ZAMHEAD", "CENA"));
  ASSERT_NE(decimals_.Find("Towary"), nullptr);
  EXPECT_EQ(decimals_.Find("Towary")->Columns().size(), 1u);
  EXPECT_EQ(decimals_.Find(""), nullptr);
}

TEST_F(DecimalManagerTest, CatalogueRowsArriveWithPaddedNames) {
  decimals_.AddDecimalFields(
      {{"TOWARY                         ", "CENA                           "},
       {"ZAMDETAIL                      ", "ILOSC                          "}});
  EXPECT_EQ(decimals_.DecimalSelectPrefix("TOWARY", "X"), kCenaPrefix);
  EXPECT_TRUE(decimals_.IsDecimalField("ZAMDETAIL", "ILOSC"));
}

TEST_F(DecimalManagerTest, ColumnAddedAfterThePrefixWasBuiltIsReadToo) {
  decimals_.AddDecimalField("TOWARY", "CENA");
  decimals_.DecimalSelectPrefix("TOWARY", "X");
  decimals_.AddDecimalField("TOWARY", "WAGA");
  EXPECT_EQ(decimals_.DecimalSelectPrefix("TOWARY", "X"),
            std::string(kCenaPrefix) + "CAST(X.WAGA AS DECIMAL(18,18)) WAGA$,");
}

TEST_F(DecimalManagerTest, DecimalColumnIsWrittenOnceUnderItsOwnName) {
  decimals_.AddDecimalField("TOWARY", "CENA");
  EXPECT_EQ(ExportText({FloatField("CENA$", 12.5), IntegerField("ID", 512),
                        TextField("NAZWA", "Sruba"), FloatField("CENA", 12.4999999999)}),
            "512;29;1;3;CENA;2;12.5;ID;1;512;NAZWA;0;5;Sruba;");
}

TEST_F(DecimalManagerTest, NullAliasAndOtherDollarNamesAreNotConfused) {
  decimals_.AddDecimalField("TOWARY", "CENA");
  // KOD$ is a column of its own, not an alias: it keeps its name and is counted.
  EXPECT_EQ(ExportText({NullField("CENA$", FieldType::kFloat), IntegerField("ID", 512),
                        NullField("CENA", FieldType::kFloat), TextField("KOD$", "A")}),
            "512;29;1;2;ID;1;512;KOD$;0;1;A;");
}

TEST_F(DecimalManagerTest, TableWithoutDecimalColumnsKeepsEveryColumn) {
  EXPECT_EQ(ExportText({IntegerField("ID", 512), FloatField("CENA", 2)}),
            "512;29;1;2;ID;1;512;CENA;2;2;");
}

}  // namespace
}  // namespace tramolin
