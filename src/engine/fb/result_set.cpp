#include "engine/fb/result_set.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "engine/fb/api.h"
#include "engine/fb/blob.h"
#include "engine/fb/day_count.h"
#include "engine/fb/sql_parameters.h"
#include "engine/fb/statement.h"
#include "util/day_time.h"

namespace tramolin::fb {

namespace {

constexpr double kTimeUnitsPerDay = 864000000.0;  // ISC_TIME counts 1/10000 s

template <typename T>
T Load(const unsigned char* data) {
  T value{};
  std::memcpy(&value, data, sizeof value);
  return value;
}

double Scaled(std::int64_t value, int scale) {
  return static_cast<double>(value) * std::pow(10.0, scale);
}

std::int64_t TextToInt(const std::string& text, const std::string& column) {
  try {
    std::size_t used = 0;
    const long long value = std::stoll(text, &used);
    if (text.find_first_not_of(' ', used) == std::string::npos) return value;
  } catch (const std::logic_error&) {
    // reported below
  }
  throw Error("Column " + column + " holds no integer: " + text);
}

std::string FormatNumber(double value) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  return buffer;
}

std::string FormatDayCount(double day_count) {
  const LocalDateTime t = FromDayCount(day_count);
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return buffer;
}

std::int64_t LoadInteger(const ColumnInfo& column, const unsigned char* data) {
  if (column.type == SqlType::kShort) return Load<ISC_SHORT>(data);
  if (column.type == SqlType::kLong) return Load<ISC_LONG>(data);
  return Load<ISC_INT64>(data);
}

}  // namespace

ResultSet::ResultSet(Statement& statement, Owned<Firebird::IResultSet> cursor)
    : statement_(&statement), cursor_(std::move(cursor)), row_(statement.layout_.length) {
  statement.live_ = this;
}

ResultSet::ResultSet(ResultSet&& other) noexcept
    : statement_(other.statement_),
      cursor_(std::move(other.cursor_)),
      row_(std::move(other.row_)),
      has_row_(other.has_row_) {
  other.statement_ = nullptr;
  if (statement_ != nullptr && statement_->live_ == &other) statement_->live_ = this;
}

ResultSet::~ResultSet() { Close(); }

void ResultSet::Close() { Drop(false); }

void ResultSet::Drop(bool force) noexcept {
  if (statement_ != nullptr && statement_->live_ == this) statement_->live_ = nullptr;
  has_row_ = false;
  EndOrRelease(cursor_, force, [](Firebird::IResultSet* cursor) {
    detail::Checked([&](auto* s) { cursor->close(s); });
  });
}

bool ResultSet::Next() {
  if (cursor_ == nullptr) return false;
  const int result = detail::Checked([&](auto* s) { return cursor_->fetchNext(s, row_.data()); });
  has_row_ = result == Firebird::IStatus::RESULT_OK;
  return has_row_;
}

const RowLayout& ResultSet::Layout() const { return statement_->layout_; }

int ResultSet::ColumnCount() const {
  return statement_ == nullptr ? 0 : static_cast<int>(Layout().columns.size());
}

const ColumnInfo& ResultSet::Column(int index) const {
  if (index < 0 || index >= ColumnCount()) throw Error("Column index out of range");
  return Layout().columns[static_cast<std::size_t>(index)];
}

int ResultSet::IndexOf(std::string_view name) const {
  for (int i = 0; i < ColumnCount(); ++i) {
    if (SameName(Column(i).name, name)) return i;
  }
  throw Error("Unknown column " + std::string(name));
}

std::size_t ResultSet::CheckedIndex(int index) const {
  Column(index);
  if (!has_row_) throw Error("No current row");
  return static_cast<std::size_t>(index);
}

const unsigned char* ResultSet::Data(int index) const {
  return row_.data() + Layout().offsets[CheckedIndex(index)];
}

// The NULL flag sits in the fetched row, so no call to the client library is needed.
bool ResultSet::IsNull(int index) const {
  return Load<ISC_SHORT>(row_.data() + Layout().null_offsets[CheckedIndex(index)]) != 0;
}

std::int64_t ResultSet::GetInt(int index) const {
  if (IsNull(index)) return 0;
  const ColumnInfo& column = Column(index);
  const unsigned char* data = Data(index);
  switch (column.type) {
    case SqlType::kShort:
    case SqlType::kLong:
    case SqlType::kInt64:
      if (column.scale == 0) return LoadInteger(column, data);
      return static_cast<std::int64_t>(GetDouble(index));
    case SqlType::kBoolean:
      return Load<FB_BOOLEAN>(data) != 0 ? 1 : 0;
    case SqlType::kFloat:
    case SqlType::kDouble:
    case SqlType::kDFloat:
      return static_cast<std::int64_t>(GetDouble(index));
    case SqlType::kText:
    case SqlType::kVarying:
      return TextToInt(ReadText(index), column.name);
    default:
      throw Error("Column " + column.name + " is not an integer");
  }
}

std::int64_t ResultSet::GetUnscaledInt(int index) const {
  if (IsNull(index)) return 0;
  const ColumnInfo& column = Column(index);
  switch (column.type) {
    case SqlType::kShort:
    case SqlType::kLong:
    case SqlType::kInt64:
      return LoadInteger(column, Data(index));
    default:
      throw Error("Column " + column.name + " is not an integer");
  }
}

double ResultSet::GetDouble(int index) const {
  if (IsNull(index)) return 0.0;
  const ColumnInfo& column = Column(index);
  const unsigned char* data = Data(index);
  switch (column.type) {
    case SqlType::kShort:
    case SqlType::kLong:
    case SqlType::kInt64:
      return Scaled(LoadInteger(column, data), column.scale);
    case SqlType::kFloat:
      return Load<float>(data);
    case SqlType::kDouble:
    case SqlType::kDFloat:
      return Load<double>(data);
    case SqlType::kTimestamp:
    case SqlType::kDate:
    case SqlType::kTime:
      return GetDateTime(index);
    default:
      throw Error("Column " + column.name + " is not a number");
  }
}

double ResultSet::GetDateTime(int index) const {
  if (IsNull(index)) return 0.0;
  const ColumnInfo& column = Column(index);
  const unsigned char* data = Data(index);
  switch (column.type) {
    case SqlType::kTimestamp: {
      const auto stamp = Load<ISC_TIMESTAMP>(data);
      return FromIscTimestamp(stamp.timestamp_date, stamp.timestamp_time);
    }
    case SqlType::kDate:
      return FromIscTimestamp(Load<ISC_DATE>(data), 0);
    case SqlType::kTime:
      return static_cast<double>(Load<ISC_TIME>(data)) / kTimeUnitsPerDay;
    default:
      throw Error("Column " + column.name + " is not a date or time");
  }
}

std::string ResultSet::ReadText(int index) const {
  const ColumnInfo& column = Column(index);
  const unsigned char* data = Data(index);
  if (column.type == SqlType::kVarying) {
    const auto length = Load<ISC_USHORT>(data);
    return std::string(reinterpret_cast<const char*>(data + sizeof(ISC_USHORT)), length);
  }
  return std::string(reinterpret_cast<const char*>(data), column.length);
}

std::string ResultSet::ReadBlob(int index) const {
  const Transaction& transaction = statement_->transaction();
  return detail::ReadBlob(transaction.attachment().handle(), transaction.handle(),
                          Load<ISC_QUAD>(Data(index)));
}

std::string ResultSet::GetBytes(int index) const {
  if (IsNull(index)) return {};
  const SqlType type = Column(index).type;
  if (type == SqlType::kBlob) return ReadBlob(index);
  if (type == SqlType::kText || type == SqlType::kVarying) return ReadText(index);
  throw Error("Column " + Column(index).name + " holds no bytes");
}

std::string ResultSet::GetString(int index) const {
  if (IsNull(index)) return {};
  const ColumnInfo& column = Column(index);
  switch (column.type) {
    case SqlType::kText:
    case SqlType::kVarying:
    case SqlType::kBlob:
      return GetBytes(index);
    case SqlType::kShort:
    case SqlType::kLong:
    case SqlType::kInt64:
      return column.scale == 0 ? std::to_string(GetInt(index)) : FormatNumber(GetDouble(index));
    case SqlType::kBoolean:
      return GetInt(index) != 0 ? "1" : "0";
    case SqlType::kFloat:
    case SqlType::kDouble:
    case SqlType::kDFloat:
      return FormatNumber(GetDouble(index));
    case SqlType::kTimestamp:
    case SqlType::kDate:
    case SqlType::kTime:
      return FormatDayCount(GetDateTime(index));
    default:
      throw Error("Column " + column.name + " cannot be read as text");
  }
}

}  // namespace tramolin::fb
