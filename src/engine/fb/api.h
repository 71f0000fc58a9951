// Private to the Firebird layer: access to the client library's process-wide interfaces and the
// conversion of Firebird's status into fb::Error. Only the layer's .cpp files include it.
#pragma once

#include <firebird/Interface.h>

#include <string>
#include <utility>

#include "engine/fb/error.h"

namespace tramolin::fb::detail {

// The client library's entry points. fb_get_master_interface() returns a library-wide handle
// that lives as long as the process; nothing here keeps state of its own.
inline Firebird::IMaster* Master() { return Firebird::fb_get_master_interface(); }
inline Firebird::IUtil* Util() { return Master()->getUtilInterface(); }

std::string FormatStatus(Firebird::IStatus* status);
Error ErrorFromStatus(Firebird::IStatus* status);

// A status object for one call, disposed at the end of the call.
class Status {
 public:
  Status() : status_(Master()->getStatus()), wrapper_(status_) {}
  ~Status() { status_->dispose(); }
  Status(const Status&) = delete;
  Status& operator=(const Status&) = delete;
  Firebird::ThrowStatusWrapper* get() { return &wrapper_; }

 private:
  Firebird::IStatus* status_;
  Firebird::ThrowStatusWrapper wrapper_;
};

// Runs call(status) and turns Firebird's exception into fb::Error.
template <typename Call>
auto Checked(Call&& call) {
  Status status;
  try {
    return std::forward<Call>(call)(status.get());
  } catch (const Firebird::FbException& e) {
    throw ErrorFromStatus(e.getStatus());
  }
}

// Builds a parameter block (DPB, TPB, SPB) with the library's builder.
class ParameterBlock {
 public:
  explicit ParameterBlock(unsigned kind);
  ~ParameterBlock();
  ParameterBlock(const ParameterBlock&) = delete;
  ParameterBlock& operator=(const ParameterBlock&) = delete;

  void AddTag(unsigned char tag);
  void AddInt(unsigned char tag, int value);
  void AddString(unsigned char tag, const std::string& value);
  const unsigned char* Buffer();
  unsigned Length();

 private:
  Firebird::IXpbBuilder* builder_;
};

}  // namespace tramolin::fb::detail
