// A prepared statement bound to one transaction for good, with ":NAME" parameters, and the
// result set of a query. The text is prepared on first use and again only when it changes, so
// a statement object reused with the same text keeps its prepared form.
//
// Parameters: every distinct name is one parameter (in the order names first appear); a name
// used twice in the text gets the same value at both places. Parameters not set are NULL; values
// stay set across executions until changed or the text changes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/fb/transaction.h"

namespace Firebird {
class IStatement;
class IResultSet;
class IMessageMetadata;
}  // namespace Firebird

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

class Statement;

// The rows of one open query. Values of the current row are read by column index (0-based) or
// by name (case-insensitive). NULL reads as 0, 0.0 or "" ; IsNull tells. CHAR values keep their
// trailing blanks: the bytes are exactly what the database holds.
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
  double GetDouble(int index) const;       // any numeric column, scale applied
  double GetDateTime(int index) const;     // DATE/TIMESTAMP/TIME as a day count
  std::string GetBytes(int index) const;   // BLOB (any sub-type) or text bytes

  bool IsNull(std::string_view name) const { return IsNull(IndexOf(name)); }
  std::string GetString(std::string_view name) const { return GetString(IndexOf(name)); }
  std::int64_t GetInt(std::string_view name) const { return GetInt(IndexOf(name)); }
  double GetDouble(std::string_view name) const { return GetDouble(IndexOf(name)); }
  double GetDateTime(std::string_view name) const { return GetDateTime(IndexOf(name)); }
  std::string GetBytes(std::string_view name) const { return GetBytes(IndexOf(name)); }

 private:
  friend class Statement;
  ResultSet(Statement& statement, Firebird::IResultSet* cursor);
  void Drop(bool force) noexcept;  // the statement lets go of its cursor
  const unsigned char* Data(int index) const;
  std::string ReadBlob(int index) const;
  std::string ReadText(int index) const;

  Statement* statement_;
  Firebird::IResultSet* cursor_;
  std::vector<unsigned char> row_;
  bool has_row_ = false;
};

class Statement : private Dependent {
 public:
  class Param {
   public:
    void SetNull();
    void SetString(std::string_view bytes);  // into a BLOB parameter: the BLOB's content
    void SetInt(std::int64_t value);
    void SetDouble(double value);
    void SetDateTime(double day_count);
    void SetBlob(std::string_view bytes) { SetString(bytes); }  // same binding as text

   private:
    friend class Statement;
    Param(Statement& statement, std::size_t index) : statement_(statement), index_(index) {}
    Statement& statement_;
    std::size_t index_;
  };

  explicit Statement(Transaction& transaction);
  Statement(Transaction& transaction, std::string_view sql);
  ~Statement() override;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Replaces the text; a different text drops the prepared form and the parameter values.
  void SetSql(std::string_view sql);
  const std::string& Sql() const { return sql_; }
  void Prepare();

  std::size_t ParamCount();
  const std::string& ParamName(std::size_t index);
  Param ParamByName(std::string_view name);  // throws Error for an unknown name
  Param ParamAt(std::size_t index);
  void ClearParams();

  // Runs a statement that returns no rows (a procedure's single output row is discarded).
  void Execute();
  // Rows inserted, updated or deleted by the last Execute.
  std::int64_t RowsAffected() const { return rows_affected_; }
  // Opens a query; the transaction must be active.
  ResultSet Open();

  Transaction& transaction() const { return transaction_; }

 private:
  friend class ResultSet;
  struct DayCount {
    double value;
  };
  using Value = std::variant<std::monostate, std::string, std::int64_t, double, DayCount>;

  void OnAttachmentClosing(bool force) noexcept override;
  void Unprepare(bool force) noexcept;
  void Set(std::size_t index, Value value);
  void RequireActiveTransaction() const;
  std::vector<unsigned char> BuildInput(Firebird::IMessageMetadata*& metadata);
  Firebird::IMessageMetadata* DescribeInput();
  std::vector<unsigned char> FillInput(Firebird::IMessageMetadata* metadata);
  const Value& ValueOfMarker(unsigned marker) const;

  Transaction& transaction_;
  std::string sql_;
  std::vector<std::string> markers_;  // name of each "?" in order
  std::vector<std::string> names_;    // distinct names in order of first appearance
  std::vector<Value> values_;         // per distinct name
  Firebird::IStatement* handle_ = nullptr;
  Firebird::IMessageMetadata* input_ = nullptr;
  Firebird::IMessageMetadata* output_ = nullptr;
  std::vector<ColumnInfo> columns_;
  std::vector<unsigned> offsets_;       // of each column's value in the output message
  std::vector<unsigned> null_offsets_;  // of each column's NULL flag
  std::int64_t rows_affected_ = 0;
  ResultSet* live_ = nullptr;  // the open result set, closed when the text changes
};

}  // namespace tramolin::fb
