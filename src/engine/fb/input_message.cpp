#include "engine/fb/input_message.h"

#include <algorithm>
#include <cstring>

#include "engine/fb/api.h"
#include "engine/fb/blob.h"
#include "engine/fb/day_count.h"
#include "engine/fb/transaction.h"

namespace tramolin::fb {

namespace {

constexpr unsigned kMaxVaryingLength = 32765;

bool IsTextType(unsigned type) { return type == SQL_TEXT || type == SQL_VARYING; }

// Texts whose lengths differ by less than a step share a format: a number or a date given as
// text has a different length in nearly every record, and each new length built a new format.
unsigned RoundedLength(std::size_t length) {
  constexpr std::size_t kStep = 64;
  const std::size_t rounded = (std::max<std::size_t>(length, 1) + kStep - 1) / kStep * kStep;
  return static_cast<unsigned>(std::min<std::size_t>(rounded, kMaxVaryingLength));
}

template <typename T>
void Store(unsigned char* data, T value) {
  std::memcpy(data, &value, sizeof value);
}

void StoreText(unsigned char* data, const std::string& text) {
  Store<ISC_USHORT>(data, static_cast<ISC_USHORT>(text.size()));
  // A VARCHAR carries its length in front; it has no terminator.
  std::memcpy(data + sizeof(ISC_USHORT), text.data(),  // NOLINT(bugprone-not-null-*)
              text.size());
}

}  // namespace

InputFormat::InputFormat(Owned<Firebird::IMessageMetadata> declared)
    : declared_(std::move(declared)) {
  detail::Checked([&](auto* s) {
    const unsigned count = declared_->getCount(s);
    for (unsigned i = 0; i < count; ++i) {
      declared_types_.push_back(declared_->getType(s, i) & ~1U);
      declared_lengths_.push_back(declared_->getLength(s, i));
    }
  });
}

InputFormat::~InputFormat() = default;

// NULL and text for a BLOB keep the declared type. A text for a text marker takes at least the
// declared length, so that texts within it share one format.
MarkerShape InputFormat::ShapeOf(unsigned i, const ParamValue& value, std::string_view sql) const {
  const unsigned declared = declared_types_[i];
  if (const auto* text = std::get_if<std::string>(&value)) {
    if (declared == SQL_BLOB) return {};
    if (text->size() > kMaxVaryingLength) {
      throw Error("Text parameter too long: " + std::string(sql));
    }
    const unsigned length = RoundedLength(text->size());
    if (!IsTextType(declared)) return {SQL_VARYING, length, true};
    return {SQL_VARYING, std::min(std::max(length, declared_lengths_[i]), kMaxVaryingLength)};
  }
  if (std::holds_alternative<std::int64_t>(value)) return {SQL_INT64, sizeof(std::int64_t)};
  if (std::holds_alternative<double>(value)) return {SQL_DOUBLE, sizeof(double)};
  if (std::holds_alternative<DayCountValue>(value)) return {SQL_TIMESTAMP, sizeof(ISC_TIMESTAMP)};
  return {};
}

void InputFormat::Fit(MarkerValues markers, std::string_view sql) {
  std::vector<MarkerShape> shapes;
  shapes.reserve(markers.size());
  for (unsigned i = 0; i < markers.size(); ++i) {
    // A NULL goes in any format: it keeps the shape its marker has, so that a column that is
    // NULL in some records and not in others does not build a format for each change.
    const bool keeps_shape =
        built_ && i < shapes_.size() && std::holds_alternative<std::monostate>(markers[i]);
    shapes.push_back(keeps_shape ? shapes_[i] : ShapeOf(i, markers[i], sql));
  }
  if (built_ && shapes == shapes_) return;
  shapes_ = std::move(shapes);
  built_ = false;  // until the new format stands
  Build();
}

void InputFormat::Build() {
  Owned<Firebird::IMetadataBuilder> builder(
      detail::Checked([&](auto* s) { return declared_->getBuilder(s); }));
  detail::Checked([&](auto* s) {
    for (unsigned i = 0; i < shapes_.size(); ++i) {
      const MarkerShape& shape = shapes_[i];
      if (shape.type == 0) continue;
      builder->setType(s, i, shape.type);
      builder->setLength(s, i, shape.length);
      if (shape.type == SQL_INT64 || shape.type == SQL_DOUBLE) builder->setScale(s, i, 0);
      if (shape.plain_bytes) builder->setCharSet(s, i, 0);
    }
    metadata_.reset(builder->getMetadata(s));
    length_ = metadata_->getMessageLength(s);
    types_.assign(shapes_.size(), 0);
    offsets_.assign(shapes_.size(), 0);
    null_offsets_.assign(shapes_.size(), 0);
    for (unsigned i = 0; i < shapes_.size(); ++i) {
      types_[i] = metadata_->getType(s, i) & ~1U;
      offsets_[i] = metadata_->getOffset(s, i);
      null_offsets_[i] = metadata_->getNullOffset(s, i);
    }
  });
  built_ = true;
}

InputMessage::InputMessage(InputFormat& format, MarkerValues markers, Transaction& transaction,
                           std::string_view sql) {
  format.Fit(markers, sql);
  metadata_ = format.metadata();
  Fill(format, markers, transaction);
}

void InputMessage::Fill(const InputFormat& format, MarkerValues markers, Transaction& transaction) {
  buffer_.assign(format.Length(), 0);
  for (unsigned i = 0; i < markers.size(); ++i) {
    const ParamValue& value = markers[i];
    unsigned char* data = buffer_.data() + format.Offset(i);
    Store<ISC_SHORT>(buffer_.data() + format.NullOffset(i),
                     std::holds_alternative<std::monostate>(value) ? -1 : 0);
    if (const auto* text = std::get_if<std::string>(&value)) {
      if (format.Type(i) == SQL_BLOB) {
        Store(data,
              detail::WriteBlob(transaction.attachment().handle(), transaction.handle(), *text));
      } else {
        StoreText(data, *text);
      }
    } else if (const auto* integer = std::get_if<std::int64_t>(&value)) {
      Store(data, *integer);
    } else if (const auto* real = std::get_if<double>(&value)) {
      Store(data, *real);
    } else if (const auto* day_count = std::get_if<DayCountValue>(&value)) {
      const IscTimestamp stamp = ToIscTimestamp(day_count->value);
      Store(data, ISC_TIMESTAMP{stamp.date, stamp.time});
    }
  }
}

}  // namespace tramolin::fb
