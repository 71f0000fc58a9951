// The rows of one open query of a Statement. Values of the current row are read by column
// index (0-based) or by name (case-insensitive). NULL reads as 0, 0.0 or ""; IsNull tells. CHAR
// values keep their trailing blanks: the bytes are exactly what the database holds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/fb/column_info.h"
#include "engine/fb/owned.h"

namespace Firebird {
class IResultSet;
}

namespace tramolin::fb {

class Statement;

// Where each column's value and NULL flag sit in an output message of a prepared query.
struct RowLayout {
  std::vector<ColumnInfo> columns;
  std::vector<unsigned> offsets;       // of each column's value
  std::vector<unsigned> null_offsets;  // of each column's NULL flag
  unsigned length = 0;                 // of the whole message
};

class ResultSet {
 public:
  ResultSet(ResultSet&& other) noexcept;
  ResultSet& operator=(ResultSet&&) = delete;
  ResultSet(const ResultSet&) = delete;
  ~ResultSet();

  bool Next();  // fetches the next row; false at the end
  void Close();

  int ColumnCount() const;
  const ColumnInfo& Column(int index) const;
  int IndexOf(std::string_view name) const;  // throws Error for an unknown name

  bool IsNull(int index) const;
  std::string GetString(int index) const;  // text, BLOB bytes, or a number as decimal text
  std::int64_t GetInt(int index) const;    // integers; scaled and floating values truncated
  // SMALLINT, INTEGER or BIGINT as stored, without applying its scale (Column(index).scale).
  std::int64_t GetUnscaledInt(int index) const;
  double GetDouble(int index) const;      // any numeric column, scale applied
  double GetDateTime(int index) const;    // DATE/TIMESTAMP/TIME as a day count
  std::string GetBytes(int index) const;  // BLOB (any sub-type) or text bytes

  bool IsNull(std::string_view name) const { return IsNull(IndexOf(name)); }
  std::string GetString(std::string_view name) const { return GetString(IndexOf(name)); }
  std::int64_t GetInt(std::string_view name) const { return GetInt(IndexOf(name)); }
  double GetDouble(std::string_view name) const { return GetDouble(IndexOf(name)); }
  double GetDateTime(std::string_view name) const { return GetDateTime(IndexOf(name)); }
  std::string GetBytes(std::string_view name) const { return GetBytes(IndexOf(name)); }

 private:
  friend class Statement;
  ResultSet(Statement& statement, Owned<Firebird::IResultSet> cursor);
  void Drop(bool force) noexcept;  // the statement lets go of its cursor
  const RowLayout& Layout() const;
  std::size_t CheckedIndex(int index) const;  // of a column of the current row; throws Error
  const unsigned char* Data(int index) const;
  std::string ReadBlob(int index) const;
  std::string ReadText(int index) const;

  Statement* statement_;
  Owned<Firebird::IResultSet> cursor_;
  std::vector<unsigned char> row_;
  bool has_row_ = false;
};

}  // namespace tramolin::fb
