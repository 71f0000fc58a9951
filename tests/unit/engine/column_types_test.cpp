#include "engine/column_types.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>

#include "engine/fb/column_info.h"

namespace tramolin {
namespace {

// The type code as Firebird reports it; + 1 sets the NULL flag.
constexpr unsigned Code(fb::SqlType type) { return static_cast<unsigned>(type); }

TEST(ColumnTypesTest, ColumnsWithATypeCodeMapToIt) {
  const std::vector<std::pair<unsigned, FieldType>> cases = {
      {Code(fb::SqlType::kText), FieldType::kText},
      {Code(fb::SqlType::kVarying) + 1, FieldType::kText},
      {Code(fb::SqlType::kShort), FieldType::kInteger},
      {Code(fb::SqlType::kLong) + 1, FieldType::kInteger},
      {Code(fb::SqlType::kFloat), FieldType::kFloat},
      {Code(fb::SqlType::kDouble) + 1, FieldType::kFloat},
      {Code(fb::SqlType::kTimestamp), FieldType::kDateTime},
      {Code(fb::SqlType::kDate) + 1, FieldType::kDateTime},
      {Code(fb::SqlType::kTime), FieldType::kDateTime},
      {Code(fb::SqlType::kBlob) + 1, FieldType::kBlob},
  };
  for (const auto& [sql_type, type] : cases) {
    EXPECT_EQ(FieldTypeOfColumn(sql_type, 0), type) << sql_type;
  }
  // Dialect 1 keeps NUMERIC(15,2) as a scaled DOUBLE PRECISION: still floating point.
  EXPECT_EQ(FieldTypeOfColumn(Code(fb::SqlType::kDouble), -2), FieldType::kFloat);
}

TEST(ColumnTypesTest, NumbersWithoutATypeCodeTravelAsText) {
  EXPECT_EQ(FieldTypeOfColumn(Code(fb::SqlType::kInt64), 0), FieldType::kText);
  EXPECT_EQ(FieldTypeOfColumn(Code(fb::SqlType::kInt64) + 1, -4), FieldType::kText);
  EXPECT_EQ(FieldTypeOfColumn(Code(fb::SqlType::kLong), -2), FieldType::kText);
  EXPECT_EQ(FieldTypeOfColumn(Code(fb::SqlType::kShort) + 1, -1), FieldType::kText);
  EXPECT_EQ(FieldTypeOfColumn(Code(fb::SqlType::kBoolean), 0), FieldType::kText);
}

TEST(ColumnTypesTest, ColumnsThatCannotBeWrittenAsTextHaveNone) {
  EXPECT_EQ(FieldTypeOfColumn(Code(fb::SqlType::kArray), 0), std::nullopt);
  EXPECT_EQ(FieldTypeOfColumn(Code(fb::SqlType::kQuad), 0), std::nullopt);
}

TEST(ColumnTypesTest, ScaledIntegersAreWrittenAsSqlWritesThem) {
  const struct {
    std::int64_t unscaled;
    int scale;
    std::string_view text;
  } cases[] = {
      {1234, -2, "12.34"},
      {-5, -2, "-0.05"},
      {5, -2, "0.05"},
      {0, -2, "0.00"},
      {-999999999, 0, "-999999999"},
      {123, -9, "0.000000123"},
      {-7, -1, "-0.7"},
      {INT64_MIN, 0, "-9223372036854775808"},
      {INT64_MIN, -4, "-922337203685477.5808"},
      {INT64_MAX, -18, "9.223372036854775807"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ScaledIntegerText(c.unscaled, c.scale), c.text) << c.unscaled << " " << c.scale;
  }
}

TEST(ColumnTypesTest, ErrorNamesTheColumnAndItsType) {
  using ::testing::HasSubstr;
  EXPECT_THAT(UnsupportedColumnError("WARTOSC", Code(fb::SqlType::kLong) + 1, -2).what(),
              HasSubstr("WARTOSC: NUMERIC(9,2)"));
  EXPECT_THAT(UnsupportedColumnError("LICZNIK", Code(fb::SqlType::kInt64), 0).what(),
              HasSubstr("LICZNIK: BIGINT"));
  EXPECT_THAT(UnsupportedColumnError("AKTYWNY", Code(fb::SqlType::kBoolean), 0).what(),
              HasSubstr("AKTYWNY: BOOLEAN"));
}

}  // namespace
}  // namespace tramolin
