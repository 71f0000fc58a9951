// Other processes: finding another running copy of a program by its executable name, starting a
// command that runs on by itself (the stand-in for a hidden, unwaited Windows start), and running
// a command to its end, optionally keeping what it wrote.
// Started commands get no signal blocked and every signal's default action, whatever the
// calling thread blocks or ignores.
#pragma once

#include <cstddef>
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

// What a waited-for command ended with: its exit status as RunAndWait gives it, and the start of
// what it wrote to its standard output and error together (or why it could not be started).
struct CommandOutput {
  int status = -1;
  std::string text;
};

inline constexpr std::size_t kCapturedOutputLimit = 2000;

// RunAndWait that keeps the first `limit` bytes the command writes; the rest is read and dropped,
// so a talkative command never blocks on a full pipe.
CommandOutput RunAndCapture(const std::vector<std::string>& argv,
                            std::size_t limit = kCapturedOutputLimit);

}  // namespace tramolin
