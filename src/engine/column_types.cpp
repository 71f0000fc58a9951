#include "engine/column_types.h"

#include <ibase.h>

#include "util/cp1250.h"

namespace tramolin {
namespace {

unsigned WithoutNullFlag(unsigned sql_type) { return sql_type & ~1U; }

std::string ScaledName(std::string_view base, int precision, int scale) {
  if (scale == 0) {
    return std::string(base);
  }
  return "NUMERIC(" + std::to_string(precision) + "," + std::to_string(-scale) + ")";
}

}  // namespace

std::optional<FieldType> FieldTypeOfColumn(unsigned sql_type, int scale) {
  switch (WithoutNullFlag(sql_type)) {
    case SQL_TEXT:
    case SQL_VARYING:
      return FieldType::kText;
    case SQL_SHORT:
    case SQL_LONG:
      // A scaled integer is a fixed-point number; as an integer it would lose its scale.
      if (scale != 0) {
        return std::nullopt;
      }
      return FieldType::kInteger;
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
      return FieldType::kFloat;
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
      return FieldType::kDateTime;
    case SQL_BLOB:
      return FieldType::kBlob;
    default:
      return std::nullopt;
  }
}

std::string SqlTypeName(unsigned sql_type, int scale) {
  switch (WithoutNullFlag(sql_type)) {
    case SQL_TEXT:
      return "CHAR";
    case SQL_VARYING:
      return "VARCHAR";
    case SQL_SHORT:
      return ScaledName("SMALLINT", 4, scale);
    case SQL_LONG:
      return ScaledName("INTEGER", 9, scale);
    case SQL_INT64:
      return ScaledName("BIGINT", 18, scale);
    case SQL_FLOAT:
      return "FLOAT";
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
      return "DOUBLE PRECISION";
    case SQL_TIMESTAMP:
      return "TIMESTAMP";
    case SQL_TYPE_DATE:
      return "DATE";
    case SQL_TYPE_TIME:
      return "TIME";
    case SQL_BLOB:
      return "BLOB";
    case SQL_ARRAY:
      return "ARRAY";
    case SQL_BOOLEAN:
      return "BOOLEAN";
    default:
      return "SQL " + std::to_string(WithoutNullFlag(sql_type));
  }
}

UnsupportedColumnError::UnsupportedColumnError(std::string_view column, unsigned sql_type,
                                               int scale)
    : std::runtime_error(std::string("Nieobsługiwany typ kolumny "_cp) + std::string(column) +
                         ": " + SqlTypeName(sql_type, scale)) {}

}  // namespace tramolin
