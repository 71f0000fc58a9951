// A folder with its own copy of the program, as an installation has: the program's files (the
// configuration, logs, pid) live beside the executable. Each test gets a copy under its own
// executable name, so the single-copy rule of one test never sees another test's processes.
// Every process started here must end well: one still running when the folder goes is sent
// SIGTERM and must exit with status 0, and none may crash or end with kSanitizerExitStatus (a
// sanitizer's finding in a program built with them); otherwise the test fails.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <filesystem>
#include <memory>
#include <string>

namespace tramolin::testing {

// The status a started program exits with when AddressSanitizer, LeakSanitizer or
// UndefinedBehaviorSanitizer reports a fault in it; the program itself never uses it.
inline constexpr int kSanitizerExitStatus = 86;

class ProgramFolder {
 public:
  explicit ProgramFolder(const std::string& executable_name);
  ~ProgramFolder();
  ProgramFolder(const ProgramFolder&) = delete;
  ProgramFolder& operator=(const ProgramFolder&) = delete;

  const std::filesystem::path& Dir() const { return dir_; }
  void WriteFile(const std::string& name, const std::string& text) const;
  // The file's bytes converted to UTF-8 ("" when it does not exist).
  std::string ReadText(const std::string& name) const;
  bool Exists(const std::string& name) const;

  // An environment variable for the processes started from now on.
  void SetEnvironment(const QString& name, const QString& value) {
    environment_.insert(name, value);
  }

  // A command that runs the program from now on, such as {"ip", "netns", "exec", "name"}; it
  // must replace itself by the program, so that the process is the program's.
  void SetLauncher(QStringList launcher) { launcher_ = std::move(launcher); }

  // Starts the program with the arguments; the process ends with the folder.
  QProcess& Start(const QStringList& arguments);
  // Runs the program to its end (at most timeout_ms) and returns its exit status, -1 on time-out
  // or when a signal ended it.
  int Run(const QStringList& arguments, int timeout_ms = 30000);
  // Ends the process at once with SIGKILL, as a crash or a power cut would; its end is not
  // checked.
  void Kill(QProcess& process);
  // How often the file's text holds `text`.
  int Count(const std::string& name, const std::string& text) const;
  // Waits until the file exists, or the file's text contains `text` when given.
  bool WaitFor(const std::string& name, const std::string& text = "", int timeout_ms = 15000) const;

 private:
  void AddSanitizerOption(const QString& variable, const QString& option);
  // SIGTERM to each process still running, then the end of every process checked.
  void EndProcesses();

  std::filesystem::path dir_;
  std::filesystem::path executable_;
  QProcessEnvironment environment_ = QProcessEnvironment::systemEnvironment();
  QStringList launcher_;
  std::vector<std::unique_ptr<QProcess>> processes_;
};

}  // namespace tramolin::testing
