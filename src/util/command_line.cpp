#include "util/command_line.h"

#include <algorithm>

#include "util/cp1250.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

// "-" + the name in upper case (+ "=" when asked), the form switches are compared in.
std::string SwitchPrefix(std::string_view name, bool with_equals) {
  std::string prefix(1, '-');
  prefix += UpperCase(name);
  if (with_equals) prefix += '=';
  return prefix;
}

}  // namespace

bool IsSwitch(std::string_view parameter, std::string_view name) {
  const std::string upper = UpperCase(parameter);
  return upper == SwitchPrefix(name, false) || upper.starts_with(SwitchPrefix(name, true));
}

CommandLine::CommandLine(std::vector<std::string> args) : args_(std::move(args)) {}

CommandLine::CommandLine(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) args_.emplace_back(argv[i]);
}

bool CommandLine::HasSwitch(std::string_view name) const {
  return std::any_of(args_.begin(), args_.end(),
                     [name](const std::string& arg) { return IsSwitch(arg, name); });
}

std::string CommandLine::SwitchValue(std::string_view name) const {
  const std::string prefix = SwitchPrefix(name, true);
  for (const std::string& arg : args_) {
    if (UpperCase(arg).starts_with(prefix)) return arg.substr(prefix.size());
  }
  return {};
}

std::string CommandLine::CommandLineText() const {
  std::string text;
  for (const std::string& arg : args_) text += arg + " ";
  return std::string(Trim(text));
}

}  // namespace tramolin
