// What a query tells about each column of its rows: Firebird's SQL type code and the column's
// name, origin and storage. Shared by the statement, its result set and the type catalogue.
#pragma once

#include <string>

namespace tramolin::fb {

// Firebird's SQL type codes (without the nullable bit).
enum class SqlType : int {
  kVarying = 448,
  kText = 452,
  kDouble = 480,
  kFloat = 482,
  kLong = 496,
  kShort = 500,
  kTimestamp = 510,
  kBlob = 520,
  kDFloat = 530,
  kArray = 540,
  kQuad = 550,
  kTime = 560,
  kDate = 570,
  kInt64 = 580,
  kBoolean = 32764,
  kNull = 32766,
};

struct ColumnInfo {
  std::string name;      // the alias when the select gives one, else the column name
  std::string field;     // the underlying column name ("" for an expression)
  std::string relation;  // the table it comes from ("" for an expression)
  SqlType type = SqlType::kNull;
  int sub_type = 0;     // BLOB sub-type (0 binary, 1 text)
  int scale = 0;        // negative for scaled integers (NUMERIC stored as an integer)
  unsigned length = 0;  // bytes of the value in the message (CHAR/VARCHAR: the maximum)
  bool nullable = true;
};

}  // namespace tramolin::fb
