#include "integration/program_folder.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <QThread>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "util/cp1250.h"

namespace tramolin::testing {

namespace fs = std::filesystem;

namespace {

// SIGTERM, the program's orderly end; false (a failure) when it is still running afterwards.
bool TerminateOrderly(QProcess& process) {
  constexpr int kOrderlyEndMs = 15000;
  ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
  if (process.waitForFinished(kOrderlyEndMs)) return true;
  ADD_FAILURE() << "the program did not end on SIGTERM";
  process.kill();
  process.waitForFinished(5000);
  return false;
}

// No crash and no sanitizer finding; status 0 after our SIGTERM.
void ExpectGoodEnd(QProcess& process, bool terminated) {
  const std::string output = process.readAll().toStdString();
  ASSERT_EQ(process.exitStatus(), QProcess::NormalExit) << "the program crashed:\n" << output;
  ASSERT_NE(process.exitCode(), kSanitizerExitStatus) << "a sanitizer reported a fault:\n"
                                                      << output;
  if (terminated) {
    EXPECT_EQ(process.exitCode(), 0) << "after SIGTERM:\n" << output;
  }
}

}  // namespace

ProgramFolder::ProgramFolder(const std::string& executable_name)
    : dir_(fs::temp_directory_path() / ("tramolin_it_" + executable_name)),
      executable_(dir_ / executable_name) {
  fs::remove_all(dir_);
  fs::create_directories(dir_);
  fs::copy_file(TRAMOLIN2_BINARY, executable_);
  // A service process stops its service when it ends: never the machine's real one.
  SetEnvironment("TRAMOLIN2_SYSTEMCTL", "true");
  // No window opens on a developer's desktop: the program keeps to its terminal view.
  SetEnvironment("QT_QPA_PLATFORM", "offscreen");
  // Both settings are needed: undefined behaviour takes its exit status from its own variable.
  AddSanitizerOption("ASAN_OPTIONS", QString("exitcode=%1").arg(kSanitizerExitStatus));
  AddSanitizerOption("UBSAN_OPTIONS", QString("exitcode=%1").arg(kSanitizerExitStatus));
}

ProgramFolder::~ProgramFolder() {
  EndProcesses();
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
}

void ProgramFolder::AddSanitizerOption(const QString& variable, const QString& option) {
  const QString options = environment_.value(variable);
  SetEnvironment(variable, options.isEmpty() ? option : options + ":" + option);
}

void ProgramFolder::EndProcesses() {
  for (auto& process : processes_) {
    const bool terminated = process->state() != QProcess::NotRunning;
    if (terminated && !TerminateOrderly(*process)) continue;
    ExpectGoodEnd(*process, terminated);
  }
}

void ProgramFolder::WriteFile(const std::string& name, const std::string& text) const {
  std::ofstream(dir_ / name, std::ios::binary) << text;
}

std::string ProgramFolder::ReadText(const std::string& name) const {
  std::ifstream in(dir_ / name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return Cp1250ToUtf8(text.str());
}

bool ProgramFolder::Exists(const std::string& name) const { return fs::exists(dir_ / name); }

QProcess& ProgramFolder::Start(const QStringList& arguments) {
  auto process = std::make_unique<QProcess>();
  process->setWorkingDirectory(QString::fromStdString(dir_.string()));
  process->setProcessChannelMode(QProcess::MergedChannels);
  process->setProcessEnvironment(environment_);
  const QString program = QString::fromStdString(executable_.string());
  if (launcher_.isEmpty()) {
    process->start(program, arguments);
  } else {
    process->start(launcher_.first(), launcher_.mid(1) + QStringList{program} + arguments);
  }
  process->waitForStarted(5000);
  processes_.push_back(std::move(process));
  return *processes_.back();
}

void ProgramFolder::Kill(QProcess& process) {
  process.kill();
  process.waitForFinished(5000);
  std::erase_if(processes_, [&](const auto& held) { return held.get() == &process; });
}

int ProgramFolder::Count(const std::string& name, const std::string& text) const {
  const std::string all = ReadText(name);
  int count = 0;
  for (auto at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++count;
  return count;
}

int ProgramFolder::Run(const QStringList& arguments, int timeout_ms) {
  QProcess& process = Start(arguments);
  if (!process.waitForFinished(timeout_ms)) return -1;
  return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

bool ProgramFolder::WaitFor(const std::string& name, const std::string& text,
                            int timeout_ms) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < deadline) {
    if (Exists(name) && (text.empty() || ReadText(name).find(text) != std::string::npos)) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

}  // namespace tramolin::testing
