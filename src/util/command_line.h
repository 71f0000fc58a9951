// The program's command-line parameters (those after the program path) and the switch rules:
// "-name" or "-name=value", any case; a parameter beginning with "/" is never a switch.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tramolin {

// True when the parameter is the switch `name`: "-name" or "-name=...", without regard to case.
bool IsSwitch(std::string_view parameter, std::string_view name);

class CommandLine {
 public:
  CommandLine() = default;
  explicit CommandLine(std::vector<std::string> args);
  // From main()'s arguments, skipping the program path.
  CommandLine(int argc, const char* const* argv);

  // True when a parameter is "-name" or begins "-name=", compared without regard to case.
  bool HasSwitch(std::string_view name) const;
  // Everything after the first "=" of the first "-name=..." parameter (letters unchanged), or "".
  std::string SwitchValue(std::string_view name) const;
  // Every parameter followed by a blank, trimmed of leading and trailing blanks and controls.
  std::string CommandLineText() const;
  const std::vector<std::string>& Args() const { return args_; }

 private:
  std::vector<std::string> args_;
};

}  // namespace tramolin
