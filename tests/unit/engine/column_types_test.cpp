#include "engine/column_types.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <ibase.h>

namespace tramolin {
namespace {

TEST(ColumnTypesTest, ColumnsWithATypeCodeMapToIt) {
  const std::vector<std::pair<unsigned, FieldType>> cases = {
      {SQL_TEXT, FieldType::kText},          {SQL_VARYING + 1, FieldType::kText},
      {SQL_SHORT, FieldType::kInteger},      {SQL_LONG + 1, FieldType::kInteger},
      {SQL_FLOAT, FieldType::kFloat},        {SQL_DOUBLE + 1, FieldType::kFloat},
      {SQL_TIMESTAMP, FieldType::kDateTime}, {SQL_TYPE_DATE + 1, FieldType::kDateTime},
      {SQL_TYPE_TIME, FieldType::kDateTime}, {SQL_BLOB + 1, FieldType::kBlob},
  };
  for (const auto& [sql_type, type] : cases) {
    EXPECT_EQ(FieldTypeOfColumn(sql_type, 0), type) << sql_type;
  }
  // Dialect 1 keeps NUMERIC(15,2) as a scaled DOUBLE PRECISION: still floating point.
  EXPECT_EQ(FieldTypeOfColumn(SQL_DOUBLE, -2), FieldType::kFloat);
}

TEST(ColumnTypesTest, ColumnsWithoutATypeCodeHaveNone) {
  EXPECT_EQ(FieldTypeOfColumn(SQL_INT64, 0), std::nullopt);
  EXPECT_EQ(FieldTypeOfColumn(SQL_INT64 + 1, -4), std::nullopt);
  EXPECT_EQ(FieldTypeOfColumn(SQL_LONG, -2), std::nullopt);
  EXPECT_EQ(FieldTypeOfColumn(SQL_SHORT + 1, -1), std::nullopt);
  EXPECT_EQ(FieldTypeOfColumn(SQL_BOOLEAN, 0), std::nullopt);
  EXPECT_EQ(FieldTypeOfColumn(SQL_ARRAY, 0), std::nullopt);
  EXPECT_EQ(FieldTypeOfColumn(SQL_QUAD, 0), std::nullopt);
}

TEST(ColumnTypesTest, ErrorNamesTheColumnAndItsType) {
  using ::testing::HasSubstr;
  EXPECT_THAT(UnsupportedColumnError("WARTOSC", SQL_LONG + 1, -2).what(),
              HasSubstr("WARTOSC: NUMERIC(9,2)"));
  EXPECT_THAT(UnsupportedColumnError("LICZNIK", SQL_INT64, 0).what(), HasSubstr("LICZNIK: BIGINT"));
  EXPECT_THAT(UnsupportedColumnError("AKTYWNY", SQL_BOOLEAN, 0).what(),
              HasSubstr("AKTYWNY: BOOLEAN"));
}

}  // namespace
}  // namespace tramolin
