#include "engine/remote_sql.h"

#include <cstdint>
#include <exception>

#include "engine/dmdb.h"
#include "util/cp1250.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

// The answer travels in one packet and is read by a person: a query's rows are counted only up
// to kRowCountCap and its first value is cut at kValueCap bytes, each cut said in the answer.
constexpr std::int64_t kRowCountCap = 100000;
constexpr std::size_t kValueCap = 64 * 1024;

// A text with SELECT anywhere in it is opened as a query, anything else executed.
bool IsQuery(std::string_view sql) {
  return UpperCase(Trim(sql)).find("SELECT") != std::string::npos;
}

std::string RowCountText(std::int64_t count, bool capped) {
  return capped ? "[RC>" + std::to_string(kRowCountCap) + "]"
                : "[RC=" + std::to_string(count) + "]";
}

std::string ValueText(std::string value) {
  if (value.size() <= kValueCap) return "\"" + value + "\"";
  value.resize(kValueCap);
  return "\"" + value + "\" [TXT>" + std::to_string(kValueCap) + "]";
}

}  // namespace

TRemoteSql::TRemoteSql(TDMDB& db, HostServices& host, SlotBook& slot_book)
    : db_(db), host_(host), slots_(slot_book), IBQSQL(db.IBTSQL()) {}

TRemoteSql::~TRemoteSql() = default;

void TRemoteSql::ExecuteSQL(std::string_view sql, std::string& answer) {
  answer.clear();
  if (Trim(sql).empty()) {
    answer = "puste zapytanie SQL";
    return;
  }
  if (!db_.ConnectDatabase()) {
    answer = "Brak połączenia z bazą danych"_cp + slots_.GetErrorText(-1);
    return;
  }
  try {
    db_.IBTSQL().StartIfInactive();
    IBQSQL.SetSql(sql);
    answer = IsQuery(sql) ? RunQuery() : RunStatement();
  } catch (const std::exception& error) {
    answer = error.what();
  }
  Finish(answer);
}

std::string TRemoteSql::RunStatement() {
  IBQSQL.Execute();
  return "[RA=" + std::to_string(IBQSQL.RowsAffected()) + "]";
}

std::string TRemoteSql::RunQuery() {
  fb::ResultSet rows = IBQSQL.Open();
  std::int64_t count = 0;
  bool capped = false;
  std::string first_value;
  while (rows.Next()) {
    if (count == kRowCountCap) {
      capped = true;
      break;
    }
    if (count == 0 && rows.ColumnCount() > 0) first_value = rows.GetString(0);
    ++count;
  }
  rows.Close();
  return RowCountText(count, capped) + " " + ValueText(std::move(first_value));
}

void TRemoteSql::Finish(std::string& answer) noexcept {
  // Dropping the prepared text lets go of the objects it names, so that it blocks no later
  // change of their structure.
  try {
    IBQSQL.SetSql({});
    db_.IBTSQL().CommitIfActive();
  } catch (const std::exception& error) {
    answer = error.what();
    try {
      db_.IBTSQL().RollbackIfActive();
    } catch (...) {
      // the commit's failure is the answer
    }
  }
}

}  // namespace tramolin
