#include "platform/processes.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

#include "platform/system_info.h"
#include "unit/util/temp_dir.h"

namespace tramolin {
namespace {

using namespace std::chrono_literals;

// A copy of sleep under a chosen name, running as a child of the test.
class NamedChild {
 public:
  NamedChild(const testing::TempDir& dir, const std::string& name) {
    const auto exe = dir / name;
    std::filesystem::copy_file("/bin/sleep", exe);
    pid_ = fork();
    if (pid_ == 0) {
      execl(exe.c_str(), name.c_str(), "30", static_cast<char*>(nullptr));
      _exit(127);
    }
    std::this_thread::sleep_for(100ms);  // let exec replace the forked image
  }
  ~NamedChild() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  NamedChild(const NamedChild&) = delete;
  NamedChild& operator=(const NamedChild&) = delete;
  int pid() const { return pid_; }

 private:
  int pid_;
};

bool WaitFor(const std::function<bool()>& condition) {
  for (int i = 0; i < 100 && !condition(); ++i) std::this_thread::sleep_for(20ms);
  return condition();
}

TEST(ProcessesTest, FindsAnotherProcessByNameIgnoringCase) {
  const testing::TempDir dir;
  const NamedChild child(dir, "TramolinTestChild-Long-Name");
  int pid = -1;
  EXPECT_TRUE(IsProcessRunning("tramolintestchild-long-name", pid));
  EXPECT_EQ(pid, child.pid());
}

TEST(ProcessesTest, NeverReportsTheCallingProcess) {
  // Another run of this test binary may exist on a shared machine; it may be found, we may not.
  const std::string own_name = ProgramPath().filename().string();
  EXPECT_NE(FindOtherProcess(own_name), std::optional<int>(getpid()));
  int pid = -1;
  EXPECT_FALSE(IsProcessRunning("no-such-program-here", pid));
  EXPECT_EQ(pid, -1);
}

TEST(ProcessesTest, AChildWithOurNameIsFoundInsteadOfUs) {
  const testing::TempDir dir;
  const std::string own_name = ProgramPath().filename().string();
  const NamedChild child(dir, own_name);
  const auto found = FindOtherProcess(own_name);
  ASSERT_TRUE(found.has_value());
  EXPECT_NE(*found, getpid());
}

TEST(ProcessesTest, DetachedCommandRunsOnWithoutLeavingAZombie) {
  const testing::TempDir dir;
  const auto marker = dir / "done";
  ASSERT_TRUE(RunDetached({"/bin/sh", "-c", "echo noise; touch '" + marker.string() + "'"}));
  EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(marker); }));
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);  // no child of ours is left to reap
}

TEST(ProcessesTest, MissingProgramIsReported) {
  EXPECT_FALSE(RunDetached({"/no/such/program"}));
  EXPECT_FALSE(RunDetached({}));
  EXPECT_EQ(RunAndWait({"/no/such/program"}), 127);
  EXPECT_EQ(RunAndWait({"/bin/sh", "-c", "exit 3"}), 3);
  EXPECT_EQ(RunAndCapture({"/no/such/program"}).text,
            "cannot run /no/such/program: No such file or directory");
}

TEST(ProcessesTest, CapturedOutputHoldsBothStreamsUpToTheLimit) {
  const CommandOutput both = RunAndCapture({"/bin/sh", "-c", "echo out; echo err >&2; exit 3"});
  EXPECT_EQ(both.status, 3);
  EXPECT_EQ(both.text, "out\nerr\n");
  // More than a pipe holds: the rest is drained, so the command ends normally.
  const CommandOutput talkative = RunAndCapture({"/bin/sh", "-c", "head -c 200000 /dev/zero"}, 10);
  EXPECT_EQ(talkative.status, 0);
  EXPECT_EQ(talkative.text, std::string(10, '\0'));
}

// Blocks the stop signals and ignores SIGHUP while alive, as the program's main() does.
class StopSignalsBlocked {
 public:
  StopSignalsBlocked() {
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    for (const int signal_number : {SIGTERM, SIGINT, SIGHUP})
      sigaddset(&stop_signals, signal_number);
    pthread_sigmask(SIG_BLOCK, &stop_signals, &old_mask_);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGHUP, &ignore, &old_hangup_);
  }
  ~StopSignalsBlocked() {
    sigaction(SIGHUP, &old_hangup_, nullptr);
    pthread_sigmask(SIG_SETMASK, &old_mask_, nullptr);
  }
  StopSignalsBlocked(const StopSignalsBlocked&) = delete;
  StopSignalsBlocked& operator=(const StopSignalsBlocked&) = delete;

 private:
  sigset_t old_mask_;
  struct sigaction old_hangup_ {};
};

// The hexadecimal signal set of a /proc/<pid>/status line such as "SigBlk:", 0 when absent.
unsigned long long SignalSet(const std::filesystem::path& status_file, const std::string& field) {
  std::ifstream in(status_file);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with(field)) return std::stoull(line.substr(field.size()), nullptr, 16);
  }
  return 0;
}

constexpr unsigned long long SignalBit(int signal_number) { return 1ULL << (signal_number - 1); }

// Both ways of starting a command: the status the started shell sees, and whether TERM ends it.
TEST(ProcessesTest, StartedCommandsGetStopSignalsUnblockedWithDefaultActions) {
  using Runner = std::function<void(const std::string& script)>;
  const std::vector<std::pair<const char*, Runner>> runners = {
      {"RunAndWait",
       [](const std::string& script) {
         RunAndWait({"/bin/sh", "-c", script});
       }},
      {"RunDetached",
       [](const std::string& script) {
         RunDetached({"/bin/sh", "-c", script});
       }},
  };
  const StopSignalsBlocked blocked;
  for (const auto& [name, run] : runners) {
    SCOPED_TRACE(name);
    const testing::TempDir dir;
    const auto status = dir / "status";
    const auto survived = dir / "survived";
    run("cat /proc/self/status > '" + status.string() + ".tmp' && mv '" + status.string() +
        ".tmp' '" + status.string() + "'; kill -TERM $$; touch '" + survived.string() + "'");
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(status); }));
    for (const int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
      EXPECT_EQ(SignalSet(status, "SigBlk:") & SignalBit(signal_number), 0U) << signal_number;
      EXPECT_EQ(SignalSet(status, "SigIgn:") & SignalBit(signal_number), 0U) << signal_number;
    }
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(std::filesystem::exists(survived)) << "SIGTERM did not end the command";
  }
}

}  // namespace
}  // namespace tramolin
