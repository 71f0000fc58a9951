#include "engine/record_reader.h"

#include <optional>
#include <utility>
#include <vector>

#include "engine/column_types.h"
#include "engine/key_set.h"
#include "engine/record_text.h"
#include "engine/table_catalogue.h"
#include "engine/transaction_scope.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

// A number or truth value that has no type code of its own, as SQL writes it.
std::string ExactText(const fb::ResultSet& row, int index, const fb::ColumnInfo& column) {
  if (column.type == fb::SqlType::kBoolean) {
    return row.GetInt(index) != 0 ? "TRUE" : "FALSE";
  }
  return ScaledIntegerText(row.GetUnscaledInt(index), column.scale);
}

bool HeldAsText(const fb::ColumnInfo& column) {
  return column.type == fb::SqlType::kText || column.type == fb::SqlType::kVarying;
}

// One column's value in the form its type code carries it.
TPole ReadValue(const fb::ResultSet& row, int index, const fb::ColumnInfo& column, FieldType type) {
  switch (type) {
    case FieldType::kText:
      return TextField(column.name,
                       HeldAsText(column) ? row.GetBytes(index) : ExactText(row, index, column));
    case FieldType::kInteger:
      return IntegerField(column.name, static_cast<std::int32_t>(row.GetInt(index)));
    case FieldType::kFloat:
      return FloatField(column.name, row.GetDouble(index));
    case FieldType::kDateTime:
      return DateTimeField(column.name, row.GetDateTime(index));
    case FieldType::kBlob:
      return BlobField(column.name, row.GetBytes(index));
  }
  throw UnsupportedColumnError(column.name, static_cast<unsigned>(column.type), column.scale);
}

FieldType TypeCodeOf(const fb::ColumnInfo& column) {
  const auto type = FieldTypeOfColumn(static_cast<unsigned>(column.type), column.scale);
  if (!type) {
    throw UnsupportedColumnError(column.name, static_cast<unsigned>(column.type), column.scale);
  }
  return *type;
}

std::string ErrorMessage(std::int32_t record_id, std::int32_t table_number,
                         std::int32_t change_type, std::string_view trace, std::string_view cause) {
  return Concat({"PrzygotujRekord(", std::to_string(record_id), ",", std::to_string(table_number),
                 ",", std::to_string(change_type), "){", trace, "} \"", cause, "\""});
}

// The one-record select up to its key's condition.
std::string RecordSetSelectHead(TDecimalManager& decimals, std::string_view table,
                                std::string_view key_column) {
  std::string text = RecordSelectText(decimals, table, key_column);
  text.resize(text.size() - Concat({"X.", key_column, "=:ID"}).size());
  return text;
}

}  // namespace

void LoadDecimalFields(fb::Statement& tool, TDecimalManager& decimals) {
  tool.SetSql(kDecimalFieldsQuery);
  fb::ResultSet rows = tool.Open();
  std::vector<std::pair<std::string, std::string>> columns;
  while (rows.Next()) {
    columns.emplace_back(rows.GetString(0), rows.GetString(1));
  }
  rows.Close();
  decimals.AddDecimalFields(columns);
}

// The decimal aliases come first (under their columns' names); the table's own DOUBLE PRECISION
// columns are left out since their aliases carry them.
void ReadExportColumns(TRekord& record, const fb::ResultSet& row, const TDecimalInfo* decimals,
                       std::string& trace) {
  const int count = row.ColumnCount();
  record.fields.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const fb::ColumnInfo& column = row.Column(i);
    const FieldType type = TypeCodeOf(column);
    if (decimals != nullptr && decimals->Contains(column.name)) continue;
    if (row.IsNull(i)) {
      AddExportColumn(record, decimals, NullField(column.name, type));
      continue;
    }
    trace.append("_").append(column.name);
    AddExportColumn(record, decimals, ReadValue(row, i, column, type));
  }
}

TRecordReader::TRecordReader(fb::Transaction& get_data, TDecimalManager& decimals)
    : IBTGetData(get_data), decimals_(decimals), IBQGetData(get_data) {}

std::string TRecordReader::PrzygotujRekord(std::int32_t record_id, std::int32_t table_number,
                                           bool own_transaction, std::int32_t change_type,
                                           NullColumns nulls) {
  std::string trace = "0";
  const TTableInfo* table = TableInfo(table_number);
  if (table == nullptr || !table->IsUsable()) {
    return {};
  }
  trace += '1';
  TRekord record{record_id, table_number, change_type, {}};
  std::string text;
  try {
    trace += '2';
    if (change_type != kChangeDelete) {
      std::optional<TransactionScope> work;
      if (own_transaction) work.emplace(IBTGetData);
      const bool exists = ReadRecord(record, table->name, table->key_column, trace);
      if (work) work->Commit();
      trace += '0';
      if (!exists) {
        return {};
      }
    }
    AppendRecordText(record, text, nulls);
  } catch (const std::exception& e) {
    throw RecordReadError(ErrorMessage(record_id, table_number, change_type, trace, e.what()));
  }
  return text;
}

// Reads the record's columns into `record`; false when the record no longer exists.
bool TRecordReader::ReadRecord(TRekord& record, std::string_view table, std::string_view key,
                               std::string& trace) {
  trace += "34";
  IBQGetData.SetSql(RecordSelectText(decimals_, table, key));
  trace += '5';
  IBQGetData.ParamByName("ID").SetInt(record.record_id);
  fb::ResultSet row = IBQGetData.Open();
  trace += '6';
  if (!row.Next()) {
    return false;
  }
  trace += "78";
  ReadExportColumns(record, row, decimals_.Find(table), trace);
  return true;
}

TRecordSetReader::TRecordSetReader(const TRecordReader& reader)
    : transaction_(reader.Transaction()), decimals_(reader.Decimals()) {}

std::unordered_map<std::int32_t, TRekord> TRecordSetReader::Read(
    std::int32_t table_number, const TTableInfo& table, std::span<const std::int32_t> ids) {
  fb::Statement& select = StatementFor(table_number, table).Bind(ids);
  std::unordered_map<std::int32_t, TRekord> records;
  const TDecimalInfo* decimals = decimals_.Find(table.name);
  fb::ResultSet rows = select.Open();
  const int key_index = rows.IndexOf(table.key_column);
  std::string trace;
  while (rows.Next()) {
    const auto id = static_cast<std::int32_t>(rows.GetInt(key_index));
    TRekord& record = records[id];
    record = TRekord{id, table_number, kChangeInsert, {}};
    ReadExportColumns(record, rows, decimals, trace);
    trace.clear();
  }
  return records;
}

KeySetStatement& TRecordSetReader::StatementFor(std::int32_t table_number,
                                                const TTableInfo& table) {
  std::unique_ptr<KeySetStatement>& statement = statements_[table_number];
  if (statement == nullptr) {
    statement = std::make_unique<KeySetStatement>(
        transaction_, RecordSetSelectHead(decimals_, table.name, table.key_column), "",
        Concat({"X.", table.key_column}), kMaxKeys);
  }
  return *statement;
}

}  // namespace tramolin
