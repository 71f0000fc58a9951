// The input message of one execution of a prepared statement: the parameter values laid out in
// the buffer Firebird reads, with metadata of their own. Each marker's type follows the value
// given to it (the server converts it to the declared type); text for a BLOB parameter becomes
// a new BLOB, written when the message is built.
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

class InputMessage {
 public:
  // declared: the statement's input metadata; sql: the statement's text, for error messages.
  // Throws Error.
  InputMessage(Firebird::IMessageMetadata* declared, MarkerValues markers, Transaction& transaction,
               std::string_view sql);
  ~InputMessage();
  InputMessage(const InputMessage&) = delete;
  InputMessage& operator=(const InputMessage&) = delete;

  Firebird::IMessageMetadata* metadata() const { return metadata_.get(); }
  unsigned char* data() { return buffer_.data(); }

 private:
  void Describe(Firebird::IMessageMetadata* declared, MarkerValues markers, std::string_view sql);
  void Fill(MarkerValues markers, Transaction& transaction);

  Owned<Firebird::IMessageMetadata> metadata_;
  std::vector<unsigned char> buffer_;
};

}  // namespace tramolin::fb
