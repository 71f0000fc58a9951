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
      return scale == 0 ? FieldType::kInteger : FieldType::kText;
    case fb::SqlType::kInt64:
    case fb::SqlType::kBoolean:
      return FieldType::kText;
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

std::string ScaledIntegerText(std::int64_t unscaled, int scale) {
  // The magnitude as unsigned, so that the smallest 64-bit integer has one too.
  const std::uint64_t magnitude = unscaled < 0 ? ~static_cast<std::uint64_t>(unscaled) + 1
                                               : static_cast<std::uint64_t>(unscaled);
  std::string digits = std::to_string(magnitude);
  const auto fraction = static_cast<std::size_t>(scale < 0 ? -scale : 0);
  if (fraction > 0) {
    if (digits.size() <= fraction) digits.insert(0, fraction + 1 - digits.size(), '0');
    digits.insert(digits.size() - fraction, 1, '.');
  }
  return unscaled < 0 ? "-" + digits : digits;
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
