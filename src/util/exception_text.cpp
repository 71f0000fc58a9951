#include "util/exception_text.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

namespace tramolin {
namespace {

std::string ClassNameOf(const std::exception& error) {
  const char* mangled = typeid(error).name();
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
  return status == 0 && demangled ? demangled.get() : mangled;
}

}  // namespace

std::string ApplicationExceptionText(std::string_view sender, const std::exception& error) {
  return "Application.Exception " + std::string(sender) + " " + ClassNameOf(error) + " \"" +
         error.what() + "\"(0)";
}

}  // namespace tramolin
