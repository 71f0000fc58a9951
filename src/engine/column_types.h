// Which type code a column of a row read for export travels with. A column of a type the record
// text has no code for travels as text holding its exact value; one that cannot be written
// exactly as text (an array) fails the whole record: it is never written half, nor left out.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "engine/record.h"

namespace tramolin {

// `sql_type`: an fb::SqlType code as the message metadata gives it (the NULL flag bit may be
// set), `scale` <= 0.
// Text for 64-bit integers, scaled 16- and 32-bit integers and booleans holding the exact value;
// nullopt for arrays and the rest.
std::optional<FieldType> FieldTypeOfColumn(unsigned sql_type, int scale);

// A stored integer with its decimal scale (<= 0) as SQL writes the number: 1234 and -2 give
// "12.34", -5 and -2 give "-0.05", 7 and 0 give "7".
std::string ScaledIntegerText(std::int64_t unscaled, int scale);

// The SQL name of a column type, for messages ("BIGINT", "NUMERIC(9,2)", "BOOLEAN").
std::string SqlTypeName(unsigned sql_type, int scale);

// Raised for a column that cannot travel at all; the export reports it through its usual error
// path.
class UnsupportedColumnError : public std::runtime_error {
 public:
  UnsupportedColumnError(std::string_view column, unsigned sql_type, int scale);
};

}  // namespace tramolin
