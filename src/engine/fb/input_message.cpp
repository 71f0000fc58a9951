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

template <typename T>
void Store(unsigned char* data, T value) {
  std::memcpy(data, &value, sizeof value);
}

// The type of one marker in the message, from its value; NULL keeps the declared type.
void DescribeMarker(Firebird::ThrowStatusWrapper* s, Firebird::IMetadataBuilder* builder,
                    unsigned declared, unsigned i, const ParamValue& value, std::string_view sql) {
  if (const auto* text = std::get_if<std::string>(&value)) {
    if (declared == SQL_BLOB) return;
    if (text->size() > kMaxVaryingLength)
      throw Error("Text parameter too long: " + std::string(sql));
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
  } else if (std::holds_alternative<DayCountValue>(value)) {
    builder->setType(s, i, SQL_TIMESTAMP);
    builder->setLength(s, i, sizeof(ISC_TIMESTAMP));
  }
}

void StoreText(unsigned char* data, const std::string& text) {
  Store<ISC_USHORT>(data, static_cast<ISC_USHORT>(text.size()));
  // A VARCHAR carries its length in front; it has no terminator.
  std::memcpy(data + sizeof(ISC_USHORT), text.data(),  // NOLINT(bugprone-not-null-*)
              text.size());
}

}  // namespace

InputMessage::InputMessage(Firebird::IMessageMetadata* declared, MarkerValues markers,
                           Transaction& transaction, std::string_view sql) {
  Describe(declared, markers, sql);
  Fill(markers, transaction);
}

InputMessage::~InputMessage() = default;

void InputMessage::Describe(Firebird::IMessageMetadata* declared, MarkerValues markers,
                            std::string_view sql) {
  Owned<Firebird::IMetadataBuilder> builder(
      detail::Checked([&](auto* s) { return declared->getBuilder(s); }));
  for (unsigned i = 0; i < markers.size(); ++i) {
    detail::Checked([&](auto* s) {
      DescribeMarker(s, builder.get(), declared->getType(s, i) & ~1U, i, markers[i], sql);
    });
  }
  metadata_.reset(detail::Checked([&](auto* s) { return builder->getMetadata(s); }));
}

void InputMessage::Fill(MarkerValues markers, Transaction& transaction) {
  Firebird::IMessageMetadata* metadata = metadata_.get();
  buffer_.assign(detail::Checked([&](auto* s) { return metadata->getMessageLength(s); }), 0);
  for (unsigned i = 0; i < markers.size(); ++i) {
    const ParamValue& value = markers[i];
    detail::Checked([&](auto* s) {
      unsigned char* data = buffer_.data() + metadata->getOffset(s, i);
      Store<ISC_SHORT>(buffer_.data() + metadata->getNullOffset(s, i),
                       std::holds_alternative<std::monostate>(value) ? -1 : 0);
      if (const auto* text = std::get_if<std::string>(&value)) {
        if ((metadata->getType(s, i) & ~1U) == SQL_BLOB) {
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
    });
  }
}

}  // namespace tramolin::fb
