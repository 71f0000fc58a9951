// The one error type of the Firebird layer. Its text is Firebird's own formatted message, so it
// can be shown, logged and stored as the last error text unchanged.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace tramolin::fb {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message, std::intptr_t code = 0)
      : std::runtime_error(message), code_(code) {}

  // The first Firebird error code of the status vector (isc_... / gds code); 0 when unknown.
  std::intptr_t code() const { return code_; }

  // Another transaction holds what the statement needs (a record lock, a key being inserted, a
  // deadlock): the same work succeeds once that transaction ends.
  bool IsConflictWithAnotherTransaction() const;

 private:
  std::intptr_t code_;
};

}  // namespace tramolin::fb
