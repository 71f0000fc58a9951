// A prepared statement bound to one transaction for good, with ":NAME" parameters. The text is
// prepared on first use and again only when it changes, so a statement object reused with the
// same text keeps its prepared form. A query's rows are read through its ResultSet.
//
// Parameters: every distinct name is one parameter (in the order names first appear); a name
// used twice in the text gets the same value at both places. Parameters not set are NULL; values
// stay set across executions until changed or the text changes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/fb/column_info.h"
#include "engine/fb/input_message.h"
#include "engine/fb/owned.h"
#include "engine/fb/result_set.h"
#include "engine/fb/transaction.h"

namespace Firebird {
class IStatement;
class IMessageMetadata;
}  // namespace Firebird

namespace tramolin::fb {

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
  // Rows inserted, updated or deleted by the last Execute, until the statement runs again.
  std::int64_t RowsAffected();
  // Opens a query; the transaction must be active.
  ResultSet Open();

  Transaction& transaction() const { return transaction_; }

 private:
  friend class ResultSet;

  void OnAttachmentClosing(bool force) noexcept override;
  void Unprepare(bool force) noexcept;
  void DescribeOutput();
  void Set(std::size_t index, ParamValue value);
  // Checks that a query can run now and prepares it; an open result set is closed.
  void ReadyToRun();
  InputMessage BuildInput();

  Transaction& transaction_;
  std::string sql_;
  std::string positional_sql_;              // the text with "?" markers, as prepared
  std::vector<std::size_t> marker_params_;  // for each "?" in order, its parameter's index
  std::vector<std::string> names_;          // distinct names in order of first appearance
  std::vector<ParamValue> values_;          // per distinct name
  Owned<Firebird::IStatement> handle_;
  std::optional<InputFormat> input_;
  Owned<Firebird::IMessageMetadata> output_;
  RowLayout layout_;
  std::optional<std::int64_t> rows_affected_ = 0;  // empty until asked for after an Execute
  ResultSet* live_ = nullptr;  // the open result set, closed when the text changes
};

}  // namespace tramolin::fb
