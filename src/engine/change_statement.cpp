#include "engine/change_statement.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_set>

#include "engine/fb/day_count.h"
#include "engine/fb/statement.h"
#include "engine/record_text.h"
#include "util/cp1250.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

constexpr std::int64_t kFirstRangedId = 10000001;
constexpr std::int64_t kRangeSize = 500000;
constexpr std::int64_t kMainDatabaseIdLimit = 10500000;

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameIdentifier(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Upper(x) == Upper(y); });
}

std::string UpperCased(std::string_view name) {
  std::string upper(name);
  std::transform(upper.begin(), upper.end(), upper.begin(), Upper);
  return upper;
}

bool Carries(const TRekord& record, std::string_view column) {
  return std::any_of(record.fields.begin(), record.fields.end(),
                     [&](const TPole& field) { return SameIdentifier(field.name, column); });
}

// The value as the record text writes it; the text has no form for NaN and the infinities.
std::string DayCountText(double day_count) {
  if (std::isnan(day_count)) return "NaN";
  if (std::isinf(day_count)) return day_count < 0 ? "-INF" : "INF";
  return NumberText(day_count);
}

std::string InsertStatement(const TRekord& record, const TTableInfo& table) {
  std::string columns;
  std::string values;
  for (const TPole& field : record.fields) {
    if (!columns.empty()) columns += ',';
    columns += field.name;
    if (!values.empty()) values += ',';
    values += ':';
    values += field.name;
  }
  std::string sql = " INSERT INTO ";
  sql.append(table.name).append("(").append(columns).append(")");
  sql.append(" VALUES (").append(values).append(")");
  return sql;
}

std::string UpdateStatement(const TRekord& record, const TTableInfo& table) {
  std::string sql = " UPDATE ";
  sql.append(table.name).append(" SET ");
  bool first = true;
  for (const TPole& field : record.fields) {
    if (!first) sql += ',';
    first = false;
    sql.append(field.name).append("=:").append(field.name);
  }
  sql.append(" WHERE ").append(table.key_column).append("=:").append(table.key_column);
  return sql;
}

void BindField(fb::Statement::Param param, const TPole& field) {
  if (field.is_null) {
    param.SetNull();  // an explicit NULL from a peer that agreed on them
    return;
  }
  switch (field.type) {
    case FieldType::kInteger:
      param.SetInt(field.int_value);
      return;
    case FieldType::kFloat:
      param.SetDouble(field.float_value);
      return;
    case FieldType::kDateTime:
      param.SetDateTime(field.float_value);
      return;
    case FieldType::kText:
    case FieldType::kBlob:
      param.SetString(field.text_value);  // the database converts text for other column types
      return;
  }
  param.SetNull();  // a type code the text has no value for
}

// Inside a block: removes the sender's entries of record USUWANY of table USUWANA_TABELA and says
// how many of them other transactions had committed; entries this import's own changes made are
// not counted. One walk of the index: each entry found is counted and deleted where it stands.
constexpr std::string_view kDeleteEntriesBody =
    "  FOR SELECT IIF(RDB$RECORD_VERSION <> CURRENT_TRANSACTION, 1, 0) OBCY FROM REPZMIANY\n"
    "  WHERE IDREPKOPIE=::KOPIA AND IDREKORDU=::USUWANY AND IDTABELI=::USUWANA_TABELA\n"
    "  INTO ::OBCY AS CURSOR WPIS DO\n"
    "  BEGIN\n"
    "    DELETE FROM REPZMIANY WHERE CURRENT OF WPIS;\n"
    "    OBCE = OBCE + OBCY;\n"
    "    USUNIETE = USUNIETE + 1;\n"
    "  END\n";

}  // namespace

std::int32_t DatabaseNumberOfId(std::int64_t id) {
  if (id <= kMainDatabaseIdLimit) return 0;
  const std::int64_t number = (id - kFirstRangedId) / kRangeSize;
  return static_cast<std::int32_t>(
      std::min<std::int64_t>(number, std::numeric_limits<std::int32_t>::max()));
}

bool IsPlainIdentifier(std::string_view name) {
  if (name.empty() || IsDigit(name.front())) return false;
  return std::all_of(name.begin(), name.end(),
                     [](char c) { return IsLetter(c) || IsDigit(c) || c == '_' || c == '$'; });
}

void CheckColumnNames(const TRekord& record) {
  std::unordered_set<std::string> seen;
  seen.reserve(record.fields.size());
  for (const TPole& field : record.fields) {
    const std::string& name = field.name;
    if (!IsPlainIdentifier(name)) {
      throw ColumnNameError("Nieprawidłowa nazwa kolumny: \""_cp + name + "\"");
    }
    if (!seen.insert(UpperCased(name)).second) {
      throw ColumnNameError("Kolumna występuje w rekordzie dwa razy: \""_cp + name + "\"");
    }
  }
}

void CheckDayCounts(const TRekord& record) {
  for (const TPole& field : record.fields) {
    if (field.type == FieldType::kDateTime && !fb::IsStorableDayCount(field.float_value)) {
      throw FieldValueError(Concat({"Wartość poza zakresem daty i czasu w kolumnie "_cp, field.name,
                                    ": ", DayCountText(field.float_value)}));
    }
  }
}

std::string ExistenceQuery(const TTableInfo& table) {
  std::string sql = "SELECT ";
  sql.append(table.key_column).append(" FROM ").append(table.name);
  sql.append(" WHERE ").append(table.key_column).append("=:ID");
  return sql;
}

std::string DeleteEntriesBlock() {
  return Concat(
      {"EXECUTE BLOCK (KOPIA INTEGER = :IDREPKOPIE, USUWANY INTEGER = :IDREKORDU,\n"
       "  USUWANA_TABELA INTEGER = :IDTABELI)\n"
       "RETURNS (USUNIETE INTEGER, OBCE INTEGER) AS\n"
       "DECLARE OBCY INTEGER;\n"
       "BEGIN\n"
       "  USUNIETE = 0;\n"
       "  OBCE = 0;\n",
       kDeleteEntriesBody, "  SUSPEND;\nEND"});
}

std::string RecordStateQuery(const TTableInfo& table) {
  return Concat(
      {"EXECUTE BLOCK (KOPIA INTEGER = :IDREPKOPIE, REKORD INTEGER = :ID,\n"
       "  TABELA INTEGER = :IDTABELI, USUWANY INTEGER = :USUWANY,\n"
       "  USUWANA_TABELA INTEGER = :USUWANATABELA)\n"
       "RETURNS (CZEKAJACE INTEGER, ISTNIEJE INTEGER, USUNIETE INTEGER, OBCE INTEGER) AS\n"
       "DECLARE OBCY INTEGER;\n"
       "BEGIN\n"
       "  USUNIETE = 0;\n"
       "  OBCE = 0;\n"
       "  IF (USUWANY IS NOT NULL) THEN\n"
       "  BEGIN\n",
       kDeleteEntriesBody,
       "  END\n"
       "  CZEKAJACE = IIF(EXISTS(SELECT ID FROM REPZMIANY\n"
       "    WHERE IDREPKOPIE=::KOPIA AND IDREKORDU=::REKORD AND IDTABELI=::TABELA), 1, 0);\n"
       "  ISTNIEJE = IIF(EXISTS(SELECT ",
       table.key_column, " FROM ", table.name, " WHERE ", table.key_column,
       "=::REKORD), 1, 0);\n"
       "  SUSPEND;\n"
       "END"});
}

std::string ChangeStatement(const TRekord& record, const TTableInfo& table) {
  switch (record.change_type) {
    case kChangeInsert:
      if (record.fields.empty()) return {};
      return InsertStatement(record, table);
    case kChangeUpdate:
      if (record.fields.empty()) return {};
      return UpdateStatement(record, table);
    case kChangeDelete: {
      std::string sql = " DELETE FROM ";
      sql.append(table.name).append(" WHERE ").append(table.key_column).append("=:");
      sql.append(table.key_column);
      return sql;
    }
    default:
      return {};
  }
}

void BindChange(fb::Statement& statement, const TRekord& record, const TTableInfo& table) {
  if (record.change_type == kChangeDelete) {
    statement.ParamAt(0).SetInt(record.record_id);
    return;
  }
  for (std::size_t i = 0; i < record.fields.size(); ++i) {
    BindField(statement.ParamAt(i), record.fields[i]);
  }
  if (record.change_type == kChangeUpdate && !Carries(record, table.key_column)) {
    statement.ParamAt(record.fields.size()).SetInt(record.record_id);
  }
}

StatementCache::StatementCache(fb::Transaction& transaction, std::size_t capacity)
    : transaction_(transaction), capacity_(std::max<std::size_t>(capacity, 1)) {}

StatementCache::~StatementCache() = default;

fb::Statement& StatementCache::Get(const std::string& sql) {
  auto found = entries_.find(sql);
  if (found == entries_.end()) {
    if (entries_.size() >= capacity_) EvictOldest();
    found =
        entries_.emplace(sql, Entry{std::make_unique<fb::Statement>(transaction_, sql), 0}).first;
  }
  found->second.last_use = ++clock_;
  return *found->second.statement;
}

void StatementCache::Clear() { entries_.clear(); }

void StatementCache::EvictOldest() {
  const auto oldest = std::min_element(
      entries_.begin(), entries_.end(),
      [](const auto& a, const auto& b) { return a.second.last_use < b.second.last_use; });
  if (oldest != entries_.end()) entries_.erase(oldest);
}

}  // namespace tramolin
