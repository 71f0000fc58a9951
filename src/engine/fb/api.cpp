#include "engine/fb/api.h"

#include <array>

#include "engine/fb/client_library.h"

namespace tramolin::fb::detail {

std::string FormatStatus(Firebird::IStatus* status) {
  std::array<char, 4096> buffer{};
  const unsigned length = Util()->formatStatus(buffer.data(), buffer.size(), status);
  std::string text(buffer.data(), length < buffer.size() ? length : buffer.size() - 1);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\0')) text.pop_back();
  return text;
}

Error ErrorFromStatus(Firebird::IStatus* status) {
  const intptr_t* errors = status->getErrors();
  const std::intptr_t code = errors != nullptr && errors[0] == isc_arg_gds ? errors[1] : 0;
  return Error(FormatStatus(status), code);
}

ParameterBlock::ParameterBlock(unsigned kind)
    : builder_(Checked([&](auto* s) { return Util()->getXpbBuilder(s, kind, nullptr, 0); })) {}

ParameterBlock::~ParameterBlock() { builder_->dispose(); }

void ParameterBlock::AddTag(unsigned char tag) {
  Checked([&](auto* s) { builder_->insertTag(s, tag); });
}

void ParameterBlock::AddInt(unsigned char tag, int value) {
  Checked([&](auto* s) { builder_->insertInt(s, tag, value); });
}

void ParameterBlock::AddString(unsigned char tag, const std::string& value) {
  Checked([&](auto* s) { builder_->insertString(s, tag, value.c_str()); });
}

const unsigned char* ParameterBlock::Buffer() {
  return Checked([&](auto* s) { return builder_->getBuffer(s); });
}

unsigned ParameterBlock::Length() {
  return Checked([&](auto* s) { return builder_->getBufferLength(s); });
}

}  // namespace tramolin::fb::detail

namespace tramolin::fb {

void ShutdownClientLibrary(unsigned timeout_ms) {
  try {
    detail::Checked([&](Firebird::ThrowStatusWrapper* status) {
      detail::Master()->getDispatcher()->shutdown(status, timeout_ms, fb_shutrsn_app_stopped);
    });
  } catch (const Error&) {
    // the process ends anyway; nothing is left to release
  }
}

}  // namespace tramolin::fb
