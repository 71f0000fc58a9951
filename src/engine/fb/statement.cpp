#include "engine/fb/statement.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "engine/fb/api.h"
#include "engine/fb/day_count.h"
#include "engine/fb/sql_parameters.h"
#include "util/day_time.h"

namespace tramolin::fb {

namespace {

constexpr unsigned kMaxVaryingLength = 32765;
constexpr unsigned kBlobSegment = 32768;

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

bool IsTextType(unsigned type) { return type == SQL_TEXT || type == SQL_VARYING; }

template <typename T>
T Load(const unsigned char* data) {
  T value{};
  std::memcpy(&value, data, sizeof value);
  return value;
}

template <typename T>
void Store(unsigned char* data, T value) {
  std::memcpy(data, &value, sizeof value);
}

double Scaled(std::int64_t value, int scale) {
  return static_cast<double>(value) * std::pow(10.0, scale);
}

ColumnInfo DescribeColumn(Firebird::IMessageMetadata* meta, unsigned i) {
  return detail::Checked([&](auto* s) {
    ColumnInfo info;
    info.name = meta->getAlias(s, i);
    info.field = meta->getField(s, i);
    info.relation = meta->getRelation(s, i);
    info.type = static_cast<SqlType>(meta->getType(s, i) & ~1U);
    info.sub_type = meta->getSubType(s, i);
    info.scale = meta->getScale(s, i);
    info.length = meta->getLength(s, i);
    info.nullable = meta->isNullable(s, i);
    if (info.name.empty()) info.name = info.field;
    return info;
  });
}

void WriteBlob(Firebird::IAttachment* attachment, Firebird::ITransaction* transaction, ISC_QUAD* id,
               std::string_view bytes) {
  Firebird::IBlob* blob = detail::Checked(
      [&](auto* s) { return attachment->createBlob(s, transaction, id, 0, nullptr); });
  try {
    for (std::size_t pos = 0; pos < bytes.size(); pos += kBlobSegment) {
      const auto chunk =
          static_cast<unsigned>(std::min<std::size_t>(kBlobSegment, bytes.size() - pos));
      detail::Checked([&](auto* s) { blob->putSegment(s, chunk, bytes.data() + pos); });
    }
    detail::Checked([&](auto* s) { blob->close(s); });
  } catch (...) {
    blob->release();
    throw;
  }
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

}  // namespace

// ---- Statement ----

Statement::Statement(Transaction& transaction) : transaction_(transaction) {
  transaction_.attachment().AddDependent(this);
}

Statement::Statement(Transaction& transaction, std::string_view sql) : Statement(transaction) {
  SetSql(sql);
}

Statement::~Statement() {
  Unprepare(false);
  transaction_.attachment().RemoveDependent(this);
}

void Statement::SetSql(std::string_view sql) {
  if (sql == sql_) return;
  Unprepare(false);
  sql_ = std::string(sql);
  PositionalSql positional = ToPositional(sql_);
  markers_ = std::move(positional.markers);
  names_.clear();
  for (const std::string& name : markers_) {
    if (std::find(names_.begin(), names_.end(), name) == names_.end()) names_.push_back(name);
  }
  values_.assign(names_.size(), Value{});
}

void Statement::Prepare() {
  if (handle_ != nullptr) return;
  if (!transaction_.attachment().IsOpen()) throw Error("The database connection is not open");
  const std::string text = ToPositional(sql_).text;
  Firebird::IAttachment* attachment = transaction_.attachment().handle();
  handle_ = detail::Checked([&](auto* s) {
    return attachment->prepare(s, transaction_.handle(), 0, text.c_str(), 1,
                               Firebird::IStatement::PREPARE_PREFETCH_METADATA);
  });
  try {
    detail::Checked([&](auto* s) {
      input_ = handle_->getInputMetadata(s);
      output_ = handle_->getOutputMetadata(s);
    });
    const unsigned count = detail::Checked([&](auto* s) { return output_->getCount(s); });
    columns_.clear();
    offsets_.clear();
    null_offsets_.clear();
    for (unsigned i = 0; i < count; ++i) {
      columns_.push_back(DescribeColumn(output_, i));
      detail::Checked([&](auto* s) {
        offsets_.push_back(output_->getOffset(s, i));
        null_offsets_.push_back(output_->getNullOffset(s, i));
      });
    }
    const unsigned inputs = detail::Checked([&](auto* s) { return input_->getCount(s); });
    if (inputs != markers_.size()) throw Error("Parameter markers do not match: " + sql_);
  } catch (...) {
    Unprepare(false);
    throw;
  }
}

void Statement::Unprepare(bool force) noexcept {
  if (live_ != nullptr) live_->Drop(force);
  if (input_ != nullptr) input_->release();
  if (output_ != nullptr) output_->release();
  input_ = output_ = nullptr;
  columns_.clear();
  if (handle_ == nullptr) return;
  if (!force) {
    try {
      detail::Checked([&](auto* s) { handle_->free(s); });
      handle_ = nullptr;
      return;
    } catch (const Error&) {
      // still held after a failed free: released below
    }
  }
  handle_->release();
  handle_ = nullptr;
}

void Statement::OnAttachmentClosing(bool force) noexcept { Unprepare(force); }

std::size_t Statement::ParamCount() { return names_.size(); }

const std::string& Statement::ParamName(std::size_t index) { return names_.at(index); }

Statement::Param Statement::ParamByName(std::string_view name) {
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (SameName(names_[i], name)) return Param(*this, i);
  }
  throw Error("Unknown parameter " + std::string(name) + " in: " + sql_);
}

Statement::Param Statement::ParamAt(std::size_t index) {
  if (index >= names_.size()) throw Error("Parameter index out of range in: " + sql_);
  return Param(*this, index);
}

void Statement::ClearParams() { values_.assign(names_.size(), Value{}); }

void Statement::Set(std::size_t index, Value value) { values_[index] = std::move(value); }

void Statement::Param::SetNull() { statement_.Set(index_, std::monostate{}); }
void Statement::Param::SetString(std::string_view bytes) {
  statement_.Set(index_, std::string(bytes));
}
void Statement::Param::SetInt(std::int64_t value) { statement_.Set(index_, value); }
void Statement::Param::SetDouble(double value) { statement_.Set(index_, value); }
void Statement::Param::SetDateTime(double day_count) {
  statement_.Set(index_, DayCount{day_count});
}

void Statement::RequireActiveTransaction() const {
  if (!transaction_.Active()) throw Error("The transaction is not active: " + sql_);
}

// The input message: each marker's type follows the value given to it (the server converts to
// the declared type); text for a BLOB parameter becomes a new BLOB. On success the caller owns
// the metadata.
std::vector<unsigned char> Statement::BuildInput(Firebird::IMessageMetadata*& metadata) {
  metadata = DescribeInput();
  try {
    return FillInput(metadata);
  } catch (...) {
    metadata->release();
    metadata = nullptr;
    throw;
  }
}

const Statement::Value& Statement::ValueOfMarker(unsigned marker) const {
  const auto name = std::find(names_.begin(), names_.end(), markers_[marker]);
  return values_[static_cast<std::size_t>(name - names_.begin())];
}

Firebird::IMessageMetadata* Statement::DescribeInput() {
  Firebird::IMetadataBuilder* builder =
      detail::Checked([&](auto* s) { return input_->getBuilder(s); });
  try {
    for (unsigned i = 0; i < markers_.size(); ++i) {
      const Value& value = ValueOfMarker(i);
      detail::Checked([&](auto* s) {
        const unsigned declared = input_->getType(s, i) & ~1U;
        if (const auto* text = std::get_if<std::string>(&value)) {
          if (declared == SQL_BLOB) return;
          if (text->size() > kMaxVaryingLength) throw Error("Text parameter too long: " + sql_);
          builder->setType(s, i, SQL_VARYING);
          builder->setLength(s, i, static_cast<unsigned>(std::max<std::size_t>(text->size(), 1)));
          if (!IsTextType(declared)) builder->setCharSet(s, i, 0);
        } else if (std::holds_alternative<std::int64_t>(value)) {
          builder->setType(s, i, SQL_INT64);
          builder->setLength(s, i, sizeof(std::int64_t));
          builder->setScale(s, i, 0);
        } else if (std::holds_alternative<double>(value)) {
          builder->setType(s, i, SQL_DOUBLE);
          builder->setLength(s, i, sizeof(double));
          builder->setScale(s, i, 0);
        } else if (std::holds_alternative<DayCount>(value)) {
          builder->setType(s, i, SQL_TIMESTAMP);
          builder->setLength(s, i, sizeof(ISC_TIMESTAMP));
        }
      });
    }
    Firebird::IMessageMetadata* metadata =
        detail::Checked([&](auto* s) { return builder->getMetadata(s); });
    builder->release();
    return metadata;
  } catch (...) {
    builder->release();
    throw;
  }
}

std::vector<unsigned char> Statement::FillInput(Firebird::IMessageMetadata* metadata) {
  std::vector<unsigned char> buffer(
      detail::Checked([&](auto* s) { return metadata->getMessageLength(s); }));
  for (unsigned i = 0; i < markers_.size(); ++i) {
    const Value& value = ValueOfMarker(i);
    detail::Checked([&](auto* s) {
      unsigned char* data = buffer.data() + metadata->getOffset(s, i);
      Store<ISC_SHORT>(buffer.data() + metadata->getNullOffset(s, i),
                       std::holds_alternative<std::monostate>(value) ? -1 : 0);
      if (const auto* text = std::get_if<std::string>(&value)) {
        if ((metadata->getType(s, i) & ~1U) == SQL_BLOB) {
          ISC_QUAD id{};
          WriteBlob(transaction_.attachment().handle(), transaction_.handle(), &id, *text);
          Store(data, id);
        } else {
          Store<ISC_USHORT>(data, static_cast<ISC_USHORT>(text->size()));
          // A VARCHAR carries its length in front; it has no terminator.
          std::memcpy(data + sizeof(ISC_USHORT), text->data(),  // NOLINT(bugprone-not-null-*)
                      text->size());
        }
      } else if (const auto* integer = std::get_if<std::int64_t>(&value)) {
        Store(data, *integer);
      } else if (const auto* real = std::get_if<double>(&value)) {
        Store(data, *real);
      } else if (const auto* day_count = std::get_if<DayCount>(&value)) {
        const IscTimestamp stamp = ToIscTimestamp(day_count->value);
        Store(data, ISC_TIMESTAMP{stamp.date, stamp.time});
      }
    });
  }
  return buffer;
}

void Statement::Execute() {
  RequireActiveTransaction();
  Prepare();
  if (live_ != nullptr) live_->Close();
  Firebird::IMessageMetadata* input = nullptr;
  std::vector<unsigned char> in = BuildInput(input);
  std::vector<unsigned char> out(
      detail::Checked([&](auto* s) { return output_->getMessageLength(s); }));
  Firebird::IMessageMetadata* output = columns_.empty() ? nullptr : output_;
  try {
    Firebird::ITransaction* transaction = transaction_.handle();
    detail::Checked(
        [&](auto* s) { handle_->execute(s, transaction, input, in.data(), output, out.data()); });
    rows_affected_ = static_cast<std::int64_t>(
        detail::Checked([&](auto* s) { return handle_->getAffectedRecords(s); }));
  } catch (...) {
    input->release();
    throw;
  }
  input->release();
}

ResultSet Statement::Open() {
  RequireActiveTransaction();
  Prepare();
  if (live_ != nullptr) live_->Close();
  Firebird::IMessageMetadata* input = nullptr;
  std::vector<unsigned char> in = BuildInput(input);
  Firebird::IResultSet* cursor = nullptr;
  try {
    cursor = detail::Checked([&](auto* s) {
      return handle_->openCursor(s, transaction_.handle(), input, in.data(), output_, 0);
    });
  } catch (...) {
    input->release();
    throw;
  }
  input->release();
  return ResultSet(*this, cursor);
}

// ---- ResultSet ----

ResultSet::ResultSet(Statement& statement, Firebird::IResultSet* cursor)
    : statement_(&statement), cursor_(cursor) {
  row_.resize(detail::Checked([&](auto* s) { return statement.output_->getMessageLength(s); }));
  statement.live_ = this;
}

ResultSet::ResultSet(ResultSet&& other) noexcept
    : statement_(other.statement_),
      cursor_(other.cursor_),
      row_(std::move(other.row_)),
      has_row_(other.has_row_) {
  other.cursor_ = nullptr;
  other.statement_ = nullptr;
  if (statement_ != nullptr && statement_->live_ == &other) statement_->live_ = this;
}

ResultSet::~ResultSet() { Close(); }

void ResultSet::Close() { Drop(false); }

void ResultSet::Drop(bool force) noexcept {
  if (statement_ != nullptr && statement_->live_ == this) statement_->live_ = nullptr;
  has_row_ = false;
  if (cursor_ == nullptr) return;
  if (!force) {
    try {
      detail::Checked([&](auto* s) { cursor_->close(s); });
      cursor_ = nullptr;
      return;
    } catch (const Error&) {
      // still held after a failed close: released below
    }
  }
  cursor_->release();
  cursor_ = nullptr;
}

bool ResultSet::Next() {
  if (cursor_ == nullptr) return false;
  const int result = detail::Checked([&](auto* s) { return cursor_->fetchNext(s, row_.data()); });
  has_row_ = result == Firebird::IStatus::RESULT_OK;
  return has_row_;
}

int ResultSet::ColumnCount() const {
  return statement_ == nullptr ? 0 : static_cast<int>(statement_->columns_.size());
}

const ColumnInfo& ResultSet::Column(int index) const {
  if (index < 0 || index >= ColumnCount()) throw Error("Column index out of range");
  return statement_->columns_[static_cast<std::size_t>(index)];
}

int ResultSet::IndexOf(std::string_view name) const {
  for (int i = 0; i < ColumnCount(); ++i) {
    if (SameName(Column(i).name, name)) return i;
  }
  throw Error("Unknown column " + std::string(name));
}

const unsigned char* ResultSet::Data(int index) const {
  Column(index);
  if (!has_row_) throw Error("No current row");
  return row_.data() + statement_->offsets_[static_cast<std::size_t>(index)];
}

bool ResultSet::IsNull(int index) const {
  Column(index);
  if (!has_row_) throw Error("No current row");
  const unsigned offset = detail::Checked(
      [&](auto* s) { return statement_->output_->getNullOffset(s, static_cast<unsigned>(index)); });
  return Load<ISC_SHORT>(row_.data() + offset) != 0;
}

std::int64_t ResultSet::GetInt(int index) const {
  if (IsNull(index)) return 0;
  const ColumnInfo& column = Column(index);
  const unsigned char* data = Data(index);
  switch (column.type) {
    case SqlType::kShort:
    case SqlType::kLong:
    case SqlType::kInt64:
      if (column.scale == 0) {
        if (column.type == SqlType::kShort) return Load<ISC_SHORT>(data);
        if (column.type == SqlType::kLong) return Load<ISC_LONG>(data);
        return Load<ISC_INT64>(data);
      }
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

double ResultSet::GetDouble(int index) const {
  if (IsNull(index)) return 0.0;
  const ColumnInfo& column = Column(index);
  const unsigned char* data = Data(index);
  switch (column.type) {
    case SqlType::kShort:
      return Scaled(Load<ISC_SHORT>(data), column.scale);
    case SqlType::kLong:
      return Scaled(Load<ISC_LONG>(data), column.scale);
    case SqlType::kInt64:
      return Scaled(Load<ISC_INT64>(data), column.scale);
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
      return static_cast<double>(Load<ISC_TIME>(data)) / 864000000.0;
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
  auto id = Load<ISC_QUAD>(Data(index));
  Firebird::IAttachment* attachment = statement_->transaction_.attachment().handle();
  Firebird::ITransaction* transaction = statement_->transaction_.handle();
  Firebird::IBlob* blob = detail::Checked(
      [&](auto* s) { return attachment->openBlob(s, transaction, &id, 0, nullptr); });
  std::string bytes;
  try {
    std::vector<char> segment(kBlobSegment);
    for (;;) {
      unsigned length = 0;
      const int result = detail::Checked([&](auto* s) {
        return blob->getSegment(s, static_cast<unsigned>(segment.size()), segment.data(), &length);
      });
      if (result == Firebird::IStatus::RESULT_NO_DATA) break;
      bytes.append(segment.data(), length);
    }
    detail::Checked([&](auto* s) { blob->close(s); });
  } catch (...) {
    blob->release();
    throw;
  }
  return bytes;
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
