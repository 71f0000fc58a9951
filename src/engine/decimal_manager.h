// The DOUBLE PRECISION columns of each table. The export reads them a second time cast to
// DECIMAL(18,18) under an alias (column + "$") and sends that value under the column's own name.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tramolin {

struct TPole;
struct TRekord;

class TDecimalInfo {
 public:
  const std::vector<std::string>& Columns() const { return columns_; }
  bool Contains(std::string_view column) const;  // letter case ignored
  // The alias column's name stripped of its "$" when `column` is one of this table's aliases.
  std::string_view AliasedColumn(std::string_view column) const;

 private:
  friend class TDecimalManager;
  std::vector<std::string> columns_;
  std::string prefix_alias_;  // the table alias the cached prefix was built for
  std::string prefix_;        // empty until first built
};

class TDecimalManager {
 public:
  // A blank table or column name is ignored; a column already listed is not added again.
  void AddDecimalField(std::string_view table, std::string_view column);
  bool IsDecimalField(std::string_view table, std::string_view column) const;

  // "CAST(X.CENA AS DECIMAL(18,18)) CENA$," for each listed column of the table, built once;
  // empty for a table without such columns.
  std::string DecimalSelectPrefix(std::string_view table, std::string_view alias);

  // Fills the catalogue from the rows of the catalogue query (relation name, field name), the
  // names still padded as the system tables store them.
  void AddDecimalFields(const std::vector<std::pair<std::string, std::string>>& rows);

  // The table's entry, nullptr when it has no such columns (letter case ignored).
  const TDecimalInfo* Find(std::string_view table) const;

 private:
  struct CaseInsensitiveLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };
  std::map<std::string, TDecimalInfo, CaseInsensitiveLess> tables_;
};

// The query whose rows AddDecimalFields takes: every DOUBLE PRECISION column of the user tables.
inline constexpr std::string_view kDecimalFieldsQuery =
    " SELECT RF.RDB$RELATION_NAME, RF.RDB$FIELD_NAME  FROM RDB$RELATION_FIELDS RF  JOIN "
    "RDB$FIELDS F ON F.RDB$FIELD_NAME=RF.RDB$FIELD_SOURCE  WHERE (RF.RDB$SYSTEM_FLAG = 0 OR "
    "RF.RDB$SYSTEM_FLAG IS NULL)  AND F.RDB$FIELD_TYPE=27  ORDER BY RF.RDB$RELATION_NAME";

// The statement that reads one record for export, its DOUBLE PRECISION columns first under their
// aliases: SELECT CAST(X.CENA AS DECIMAL(18,18)) CENA$,X.* FROM TOWARY X WHERE X.ID=:ID
std::string RecordSelectText(TDecimalManager& decimals, std::string_view table,
                             std::string_view key_column);
// The same columns of every record by ascending key:
// SELECT CAST(X.CENA AS DECIMAL(18,18)) CENA$,X.* FROM TOWARY X ORDER BY X.ID
std::string TableSelectText(TDecimalManager& decimals, std::string_view table,
                            std::string_view key_column);

// Adds one column of a row read for export to the record. A DOUBLE PRECISION column is skipped
// (its value travels through its alias), an alias is added under its column's name, a NULL
// value becomes a NULL field that the record text leaves out. `decimals` is the table's entry
// of the catalogue, nullptr for a table without such columns.
void AddExportColumn(TRekord& record, const TDecimalInfo* decimals, TPole field);

}  // namespace tramolin
