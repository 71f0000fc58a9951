#include "engine/decimal_manager.h"

#include <algorithm>

#include "engine/record.h"
#include "util/cp1250.h"

namespace tramolin {
namespace {

constexpr std::string_view kBlanks = " \t\r\n";

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) {
    return {};
  }
  const auto last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

// The alias of the table in the export's selects.
constexpr std::string_view kAlias = "X";

// The export's columns of a table's records: "SELECT <decimal aliases>X.* FROM TABLE X".
std::string ExportColumnsFrom(TDecimalManager& decimals, std::string_view table) {
  std::string text = "SELECT " + decimals.DecimalSelectPrefix(table, kAlias);
  text.append(kAlias).append(".* FROM ").append(table).append(" ").append(kAlias);
  return text;
}

}  // namespace

bool TDecimalInfo::Contains(std::string_view column) const {
  return std::any_of(columns_.begin(), columns_.end(), [column](const std::string& listed) {
    return SameTextIgnoringCase(listed, column);
  });
}

std::string_view TDecimalInfo::AliasedColumn(std::string_view column) const {
  if (column.empty() || column.back() != '$') {
    return {};
  }
  const std::string_view stem = column.substr(0, column.size() - 1);
  return Contains(stem) ? stem : std::string_view{};
}

bool TDecimalManager::CaseInsensitiveLess::operator()(std::string_view a,
                                                      std::string_view b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(Cp1250Upper(x)) < static_cast<unsigned char>(Cp1250Upper(y));
  });
}

void TDecimalManager::AddDecimalField(std::string_view table, std::string_view column) {
  table = Trimmed(table);
  column = Trimmed(column);
  if (table.empty() || column.empty()) {
    return;
  }
  auto entry = tables_.find(table);
  if (entry == tables_.end()) {
    entry = tables_.emplace(std::string(table), TDecimalInfo{}).first;
  }
  TDecimalInfo& info = entry->second;
  if (info.Contains(column)) {
    return;
  }
  info.columns_.emplace_back(column);
  // A prefix built before would leave the new column out: it would be skipped as a decimal
  // column without its alias in the row, and its value would be lost.
  info.prefix_.clear();
}

bool TDecimalManager::IsDecimalField(std::string_view table, std::string_view column) const {
  const TDecimalInfo* info = Find(table);
  return info != nullptr && info->Contains(column);
}

std::string TDecimalManager::DecimalSelectPrefix(std::string_view table, std::string_view alias) {
  auto entry = tables_.find(table);
  if (entry == tables_.end()) {
    return {};
  }
  TDecimalInfo& info = entry->second;
  if (info.prefix_.empty() || info.prefix_alias_ != alias) {
    info.prefix_.clear();
    for (const std::string& column : info.columns_) {
      info.prefix_.append("CAST(").append(alias).append(".").append(column);
      info.prefix_.append(" AS DECIMAL(18,18)) ").append(column).append("$,");
    }
    info.prefix_alias_ = alias;
  }
  return info.prefix_;
}

void TDecimalManager::AddDecimalFields(
    const std::vector<std::pair<std::string, std::string>>& rows) {
  for (const auto& [table, column] : rows) {
    AddDecimalField(table, column);
  }
}

const TDecimalInfo* TDecimalManager::Find(std::string_view table) const {
  const auto entry = tables_.find(table);
  return entry == tables_.end() ? nullptr : &entry->second;
}

std::string RecordSelectText(TDecimalManager& decimals, std::string_view table,
                             std::string_view key_column) {
  std::string text = ExportColumnsFrom(decimals, table);
  text.append(" WHERE ").append(kAlias).append(".").append(key_column).append("=:ID");
  return text;
}

std::string TableSelectText(TDecimalManager& decimals, std::string_view table,
                            std::string_view key_column) {
  std::string text = ExportColumnsFrom(decimals, table);
  text.append(" ORDER BY ").append(kAlias).append(".").append(key_column);
  return text;
}

void AddExportColumn(TRekord& record, const TDecimalInfo* decimals, TPole field) {
  if (decimals != nullptr) {
    if (decimals->Contains(field.name)) {
      return;
    }
    const std::string_view column = decimals->AliasedColumn(field.name);
    if (!column.empty()) {
      field.name.resize(column.size());
    }
  }
  record.fields.push_back(std::move(field));
}

}  // namespace tramolin
