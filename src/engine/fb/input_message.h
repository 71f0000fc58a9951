// The input messages of a prepared statement: the parameter values laid out in the buffer
// Firebird reads, in a format of their own. Each marker's type follows the value given to it (the
// server converts it to the declared type); text for a BLOB parameter becomes a new BLOB, written
// when the message is built.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/fb/owned.h"

namespace Firebird {
class IMessageMetadata;
}

namespace tramolin::fb {

class Transaction;

struct DayCountValue {
  double value;  // the program's day count
};

// A parameter's value: NULL, text (or a BLOB's bytes), an integer, a floating value, a moment.
using ParamValue = std::variant<std::monostate, std::string, std::int64_t, double, DayCountValue>;

// The values of the "?" markers of a statement: a name used twice is one value at two markers.
struct MarkerValues {
  std::span<const ParamValue> values;          // one per distinct name
  std::span<const std::size_t> value_indexes;  // for each marker, its index into values
  std::size_t size() const { return value_indexes.size(); }
  const ParamValue& operator[](std::size_t marker) const { return values[value_indexes[marker]]; }
};

// How one marker is laid out in a message: as declared, or as its value needs.
struct MarkerShape {
  unsigned type = 0;  // 0: as declared
  unsigned length = 0;
  bool plain_bytes = false;  // text for a marker not declared as text: no character set
  bool operator==(const MarkerShape&) const = default;
};

// The message format of one prepared statement's input. It is built again only when a marker's
// shape changes, so a statement executed again and again with values of the same kinds (and
// texts within their columns' lengths) reuses one format.
class InputFormat {
 public:
  explicit InputFormat(Owned<Firebird::IMessageMetadata> declared);  // throws Error
  ~InputFormat();
  InputFormat(const InputFormat&) = delete;
  InputFormat& operator=(const InputFormat&) = delete;

  unsigned MarkerCount() const { return static_cast<unsigned>(declared_types_.size()); }
  // Fits the format to the values; throws Error for a text too long for any marker.
  void Fit(MarkerValues markers, std::string_view sql);

  Firebird::IMessageMetadata* metadata() const { return metadata_.get(); }
  unsigned Length() const { return length_; }
  unsigned Type(unsigned i) const { return types_[i]; }
  unsigned Offset(unsigned i) const { return offsets_[i]; }
  unsigned NullOffset(unsigned i) const { return null_offsets_[i]; }

 private:
  MarkerShape ShapeOf(unsigned i, const ParamValue& value, std::string_view sql) const;
  void Build();

  Owned<Firebird::IMessageMetadata> declared_;
  std::vector<unsigned> declared_types_;
  std::vector<unsigned> declared_lengths_;
  std::vector<MarkerShape> shapes_;  // of the format built
  bool built_ = false;
  Owned<Firebird::IMessageMetadata> metadata_;
  std::vector<unsigned> types_;
  std::vector<unsigned> offsets_;
  std::vector<unsigned> null_offsets_;
  unsigned length_ = 0;
};

// The values of one execution laid out in the buffer Firebird reads, in the statement's format.
class InputMessage {
 public:
  // sql: the statement's text, for error messages. Throws Error.
  InputMessage(InputFormat& format, MarkerValues markers, Transaction& transaction,
               std::string_view sql);
  InputMessage(const InputMessage&) = delete;
  InputMessage& operator=(const InputMessage&) = delete;

  Firebird::IMessageMetadata* metadata() const { return metadata_; }
  unsigned char* data() { return buffer_.data(); }

 private:
  void Fill(const InputFormat& format, MarkerValues markers, Transaction& transaction);

  Firebird::IMessageMetadata* metadata_;
  std::vector<unsigned char> buffer_;
};

}  // namespace tramolin::fb
