#include "platform/processes.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "util/cp1250.h"

namespace tramolin {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kCommandNameLength = 15;

std::optional<int> ProcessId(const fs::path& entry) {
  const std::string name = entry.filename().string();
  int pid = 0;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
  if (error != std::errc() || end != name.data() + name.size()) return std::nullopt;
  return pid;
}

// The executable's file name, without the " (deleted)" the kernel adds for a replaced file.
std::optional<std::string> ExecutableName(const fs::path& process_dir) {
  std::error_code error;
  const fs::path exe = fs::read_symlink(process_dir / "exe", error);
  if (error) return std::nullopt;
  std::string name = exe.filename().string();
  constexpr std::string_view kDeleted = " (deleted)";
  if (name.ends_with(kDeleted)) name.resize(name.size() - kDeleted.size());
  return name;
}

std::string CommandName(const fs::path& process_dir) {
  std::ifstream in(process_dir / "comm");
  std::string name;
  std::getline(in, name);
  return name;
}

bool IsNamed(const fs::path& process_dir, const std::string& lower_name) {
  if (const auto exe = ExecutableName(process_dir)) return LowerCase(*exe) == lower_name;
  return LowerCase(CommandName(process_dir)) == lower_name.substr(0, kCommandNameLength);
}

// Argument vector for exec, built before fork: the child only makes async-signal-safe calls.
std::vector<char*> ExecArguments(const std::vector<std::string>& argv) {
  std::vector<char*> pointers;
  pointers.reserve(argv.size() + 1);
  for (const std::string& arg : argv) pointers.push_back(const_cast<char*>(arg.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

// The program blocks its stop signals in every thread to take them through its own handling; a
// started command gets them back unblocked and with their default actions, so it can be stopped.
void RestoreDefaultSignals() {
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
    sigaction(signal_number, &default_action, nullptr);  // fails harmlessly for KILL and STOP
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
}

// Standard input on /dev/null; standard output and error on output_fd, or on /dev/null when it is
// negative. An exec failure writes its errno to report_fd (when there is one).
[[noreturn]] void ExecWithStreams(char* const* argv, int output_fd, int report_fd) {
  RestoreDefaultSignals();
  const int null_fd = open("/dev/null", O_RDWR);
  if (null_fd >= 0) dup2(null_fd, STDIN_FILENO);
  const int out_fd = output_fd >= 0 ? output_fd : null_fd;
  if (out_fd >= 0) {
    dup2(out_fd, STDOUT_FILENO);
    dup2(out_fd, STDERR_FILENO);
  }
  execvp(argv[0], argv);
  const int error = errno;
  if (report_fd >= 0) (void)!write(report_fd, &error, sizeof error);
  _exit(127);
}

int WaitForExit(pid_t child) {
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Everything readable from fd up to its end, of which the first `limit` bytes are kept.
std::string ReadBounded(int fd, std::size_t limit) {
  std::string kept;
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return kept;
    kept.append(buffer, std::min(static_cast<std::size_t>(got), limit - kept.size()));
  }
}

// The errno a failed exec wrote to the report pipe, or 0 when the program was started.
int ExecError(int report_fd) {
  int error = 0;
  ssize_t got = 0;
  while ((got = read(report_fd, &error, sizeof error)) < 0 && errno == EINTR) {
  }
  return got == sizeof error ? error : 0;
}

void ClosePipe(const int (&fds)[2]) {
  close(fds[0]);
  close(fds[1]);
}

}  // namespace

std::optional<int> FindOtherProcess(std::string_view executable_name) {
  const std::string lower_name = LowerCase(executable_name);
  const int own_pid = getpid();
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc", error)) {
    const auto pid = ProcessId(entry.path());
    if (pid && *pid != own_pid && IsNamed(entry.path(), lower_name)) return pid;
  }
  return std::nullopt;
}

bool IsProcessRunning(std::string_view executable_name, int& pid) {
  const auto found = FindOtherProcess(executable_name);
  if (found) pid = *found;
  return found.has_value();
}

bool RunDetached(const std::vector<std::string>& argv) {
  if (argv.empty()) return false;
  std::vector<char*> exec_argv = ExecArguments(argv);
  int report[2];  // the grandchild writes errno here when exec fails; close-on-exec otherwise
  if (pipe2(report, O_CLOEXEC) != 0) return false;
  const pid_t child = fork();
  if (child == 0) {
    close(report[0]);
    setsid();
    if (fork() == 0) ExecWithStreams(exec_argv.data(), -1, report[1]);
    _exit(0);  // the grandchild is adopted by init, which reaps it
  }
  close(report[1]);
  if (child < 0) {
    close(report[0]);
    return false;
  }
  WaitForExit(child);
  int exec_error = 0;
  ssize_t got = 0;
  while ((got = read(report[0], &exec_error, sizeof exec_error)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  return got == 0;
}

int RunAndWait(const std::vector<std::string>& argv) {
  if (argv.empty()) return -1;
  std::vector<char*> exec_argv = ExecArguments(argv);
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) ExecWithStreams(exec_argv.data(), -1, -1);
  return WaitForExit(child);
}

CommandOutput RunAndCapture(const std::vector<std::string>& argv, std::size_t limit) {
  if (argv.empty()) return {};
  std::vector<char*> exec_argv = ExecArguments(argv);
  int output[2];
  int report[2];
  if (pipe2(output, O_CLOEXEC) != 0) return {};
  if (pipe2(report, O_CLOEXEC) != 0) {
    ClosePipe(output);
    return {};
  }
  const pid_t child = fork();
  if (child == 0) ExecWithStreams(exec_argv.data(), output[1], report[1]);
  close(output[1]);
  close(report[1]);
  CommandOutput result;
  if (child > 0) {
    result.text = ReadBounded(output[0], limit);
    result.status = WaitForExit(child);
    if (const int error = ExecError(report[0])) {
      result.text = "cannot run " + argv[0] + ": " + std::generic_category().message(error);
    }
  }
  close(output[0]);
  close(report[0]);
  return result;
}

}  // namespace tramolin
