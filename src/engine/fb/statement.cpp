#include "engine/fb/statement.h"

#include <algorithm>

#include "engine/fb/api.h"
#include "engine/fb/sql_parameters.h"

namespace tramolin::fb {

namespace {

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

RowLayout LayoutOf(Firebird::IMessageMetadata* meta) {
  RowLayout layout;
  const unsigned count = detail::Checked([&](auto* s) { return meta->getCount(s); });
  for (unsigned i = 0; i < count; ++i) {
    layout.columns.push_back(DescribeColumn(meta, i));
    detail::Checked([&](auto* s) {
      layout.offsets.push_back(meta->getOffset(s, i));
      layout.null_offsets.push_back(meta->getNullOffset(s, i));
    });
  }
  layout.length = detail::Checked([&](auto* s) { return meta->getMessageLength(s); });
  return layout;
}

}  // namespace

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
  positional_sql_ = std::move(positional.text);
  names_.clear();
  marker_params_.clear();
  for (const std::string& name : positional.markers) {
    auto found = std::find(names_.begin(), names_.end(), name);
    if (found == names_.end()) found = names_.insert(names_.end(), name);
    marker_params_.push_back(static_cast<std::size_t>(found - names_.begin()));
  }
  values_.assign(names_.size(), ParamValue{});
}

void Statement::Prepare() {
  if (handle_ != nullptr) return;
  if (!transaction_.attachment().IsOpen()) throw Error("The database connection is not open");
  Firebird::IAttachment* attachment = transaction_.attachment().handle();
  handle_.reset(detail::Checked([&](auto* s) {
    return attachment->prepare(s, transaction_.handle(), 0, positional_sql_.c_str(), 1,
                               Firebird::IStatement::PREPARE_PREFETCH_METADATA);
  }));
  try {
    DescribeOutput();
  } catch (...) {
    Unprepare(false);
    throw;
  }
}

void Statement::DescribeOutput() {
  input_.emplace(Owned<Firebird::IMessageMetadata>(
      detail::Checked([&](auto* s) { return handle_->getInputMetadata(s); })));
  output_.reset(detail::Checked([&](auto* s) { return handle_->getOutputMetadata(s); }));
  layout_ = LayoutOf(output_.get());
  if (input_->MarkerCount() != marker_params_.size()) {
    throw Error("Parameter markers do not match: " + sql_);
  }
}

void Statement::Unprepare(bool force) noexcept {
  if (live_ != nullptr) live_->Drop(force);
  input_.reset();
  output_.reset();
  layout_ = RowLayout{};
  rows_affected_ = 0;
  EndOrRelease(handle_, force, [](Firebird::IStatement* statement) {
    detail::Checked([&](auto* s) { statement->free(s); });
  });
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

void Statement::ClearParams() { values_.assign(names_.size(), ParamValue{}); }

void Statement::Set(std::size_t index, ParamValue value) { values_[index] = std::move(value); }

void Statement::Param::SetNull() { statement_.Set(index_, std::monostate{}); }
void Statement::Param::SetString(std::string_view bytes) {
  statement_.Set(index_, std::string(bytes));
}
void Statement::Param::SetInt(std::int64_t value) { statement_.Set(index_, value); }
void Statement::Param::SetDouble(double value) { statement_.Set(index_, value); }
void Statement::Param::SetDateTime(double day_count) {
  statement_.Set(index_, DayCountValue{day_count});
}

void Statement::ReadyToRun() {
  if (!transaction_.Active()) throw Error("The transaction is not active: " + sql_);
  Prepare();
  if (live_ != nullptr) live_->Close();
}

InputMessage Statement::BuildInput() {
  return InputMessage(*input_, MarkerValues{values_, marker_params_}, transaction_, sql_);
}

void Statement::Execute() {
  ReadyToRun();
  InputMessage input = BuildInput();
  std::vector<unsigned char> out(layout_.length);
  Firebird::IMessageMetadata* output = layout_.columns.empty() ? nullptr : output_.get();
  Firebird::ITransaction* transaction = transaction_.handle();
  detail::Checked([&](auto* s) {
    handle_->execute(s, transaction, input.metadata(), input.data(), output, out.data());
  });
  rows_affected_.reset();
}

// Asked only when wanted: the count is one more call into the database per execution.
std::int64_t Statement::RowsAffected() {
  if (!rows_affected_) {
    rows_affected_ = static_cast<std::int64_t>(
        detail::Checked([&](auto* s) { return handle_->getAffectedRecords(s); }));
  }
  return *rows_affected_;
}

ResultSet Statement::Open() {
  ReadyToRun();
  rows_affected_ = 0;
  InputMessage input = BuildInput();
  Owned<Firebird::IResultSet> cursor(detail::Checked([&](auto* s) {
    return handle_->openCursor(s, transaction_.handle(), input.metadata(), input.data(),
                               output_.get(), 0);
  }));
  return ResultSet(*this, std::move(cursor));
}

}  // namespace tramolin::fb
