// Which type code a column of a row read for export travels with. A column of a type the record
// text has no code for fails the whole record: it is never written half, nor silently left out.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "engine/record.h"

namespace tramolin {

// `sql_type`: an fb::SqlType code as the message metadata gives it (the NULL flag bit may be
// set), `scale` <= 0.
// nullopt for 64-bit integers, scaled 16- and 32-bit integers, booleans, arrays and the rest.
std::optional<FieldType> FieldTypeOfColumn(unsigned sql_type, int scale);

// The SQL name of a column type, for messages ("BIGINT", "NUMERIC(9,2)", "BOOLEAN").
std::string SqlTypeName(unsigned sql_type, int scale);

// Raised for a column without a type code; the export reports it through its usual error path.
class UnsupportedColumnError : public std::runtime_error {
 public:
  UnsupportedColumnError(std::string_view column, unsigned sql_type, int scale);
};

}  // namespace tramolin
