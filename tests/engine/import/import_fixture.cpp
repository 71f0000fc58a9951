#include "import_fixture.h"

#include <cstdio>

namespace tramolin::testing {

namespace {

std::string ValueText(const fb::ResultSet& row, int i) {
  if (row.IsNull(i)) return "<NULL>";
  switch (row.Column(i).type) {
    case fb::SqlType::kDouble:
    case fb::SqlType::kFloat:
    case fb::SqlType::kTimestamp:
    case fb::SqlType::kDate:
    case fb::SqlType::kTime: {
      const double value =
          row.Column(i).type == fb::SqlType::kDouble || row.Column(i).type == fb::SqlType::kFloat
              ? row.GetDouble(i)
              : row.GetDateTime(i);
      char text[40];
      std::snprintf(text, sizeof text, "%.17g", value);
      return text;
    }
    default:
      return row.GetString(i);
  }
}

}  // namespace

std::vector<std::vector<std::string>> ImportFixture::Rows(const Side& side, std::string_view table,
                                                          std::string_view key) {
  TestConnection connection(side.path);
  connection.transaction.Start();
  fb::Statement select(connection.transaction,
                       "SELECT * FROM " + std::string(table) + " ORDER BY " + std::string(key));
  std::vector<std::vector<std::string>> rows;
  {
    fb::ResultSet row = select.Open();
    while (row.Next()) {
      std::vector<std::string> values;
      for (int i = 0; i < row.ColumnCount(); ++i) values.push_back(ValueText(row, i));
      rows.push_back(std::move(values));
    }
  }
  connection.transaction.Commit();
  return rows;
}

bool ImportFixture::Replicate(Side& from, Side& to) {
  for (int batch = 0; batch < 100; ++batch) {
    const PreparedChanges changes = from.Export();
    if (changes.count == 0) return true;
    if (to.ImportPayload(changes.payload) != kImportDone) {
      ADD_FAILURE() << to.Error();
      return false;
    }
    if (!from.Confirm(changes)) return false;
  }
  return false;
}

}  // namespace tramolin::testing
