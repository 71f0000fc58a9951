#include "engine/column_types.h"

#include "engine/fb/statement.h"
#include "util/cp1250.h"

namespace tramolin {
namespace {

// The message metadata's type code with its NULL flag bit cleared.
fb::SqlType WithoutNullFlag(unsigned sql_type) { return static_cast<fb::SqlType>(sql_type & ~1U); }

std::string ScaledName(std::string_view base, int precision, int scale) {
  if (scale == 0) {
    return std::string(base);
  }
  return "NUMERIC(" + std::to_string(precision) + "," + std::to_string(-scale) + ")";
}

}  // namespace

std::optional<FieldType> FieldTypeOfColumn(unsigned sql_type, int scale) {
  switch (WithoutNullFlag(sql_type)) {
    case fb::SqlType::kText:
    case fb::SqlType::kVarying:
      return FieldType::kText;
    case fb::SqlType::kShort:
    case fb::SqlType::kLong:
      // A scaled integer is a fixed-point number; as an integer it would lose its scale.
      if (scale != 0) {
        return std::nullopt;
      }
      return FieldType::kInteger;
    case fb::SqlType::kFloat:
    case fb::SqlType::kDouble:
    case fb::SqlType::kDFloat:
      return FieldType::kFloat;
    case fb::SqlType::kTimestamp:
    case fb::SqlType::kDate:
    case fb::SqlType::kTime:
      return FieldType::kDateTime;
    case fb::SqlType::kBlob:
      return FieldType::kBlob;
    default:
      return std::nullopt;
  }
}

std::string SqlTypeName(unsigned sql_type, int scale) {
  switch (WithoutNullFlag(sql_type)) {
    case fb::SqlType::kText:
      return "CHAR";
    case fb::SqlType::kVarying:
      return "VARCHAR";
    case fb::SqlType::kShort:
      return ScaledName("SMALLINT", 4, scale);
    case fb::SqlType::kLong:
      return ScaledName("INTEGER", 9, scale);
    case fb::SqlType::kInt64:
      return ScaledName("BIGINT", 18, scale);
    case fb::SqlType::kFloat:
      return "FLOAT";
    case fb::SqlType::kDouble:
    case fb::SqlType::kDFloat:
      return "DOUBLE PRECISION";
    case fb::SqlType::kTimestamp:
      return "TIMESTAMP";
    case fb::SqlType::kDate:
      return "DATE";
    case fb::SqlType::kTime:
      return "TIME";
    case fb::SqlType::kBlob:
      return "BLOB";
    case fb::SqlType::kArray:
      return "ARRAY";
    case fb::SqlType::kBoolean:
      return "BOOLEAN";
    default:
      return "SQL " + std::to_string(sql_type & ~1U);
  }
}

UnsupportedColumnError::UnsupportedColumnError(std::string_view column, unsigned sql_type,
                                               int scale)
    : std::runtime_error(std::string("Nieobsługiwany typ kolumny "_cp) + std::string(column) +
                         ": " + SqlTypeName(sql_type, scale)) {}

}  // namespace tramolin
