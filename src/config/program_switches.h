// What the program prints instead of starting when its command line asks for the switches it
// understands or for its version.
#pragma once

#include <optional>
#include <string>

#include "util/command_line.h"

namespace tramolin {

// For "--help" or "-?" the switches, for "--version" the version (the switches win when both are
// given), in code page 1250: the program prints it and ends with status 0 before anything else.
// nullopt when the program is to start; other switches it does not know are ignored as always.
std::optional<std::string> RequestedInformation(const CommandLine& command_line);

}  // namespace tramolin
