// Other processes: finding another running copy of a program by its executable name, and
// starting a command that runs on by itself (the stand-in for a hidden, unwaited Windows start).
// Started commands get no signal blocked and every signal's default action, whatever the
// calling thread blocks or ignores.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tramolin {

// The id of the first other process whose executable file name (or, when its executable cannot
// be read, its 15-character command name) equals the given name without regard to case. The
// calling process is never reported.
std::optional<int> FindOtherProcess(std::string_view executable_name);

// FindOtherProcess as true/false with the id; the id is not written when nothing is found.
bool IsProcessRunning(std::string_view executable_name, int& pid);

// Starts argv[0] (searched in PATH) with the given arguments in its own session, standard
// streams on /dev/null, without waiting for it; no zombie is left behind. True when the program
// was started.
bool RunDetached(const std::vector<std::string>& argv);

// Runs the command with standard streams on /dev/null and waits for it; its exit status, or -1
// when it could not be started or did not exit normally.
int RunAndWait(const std::vector<std::string>& argv);

}  // namespace tramolin
