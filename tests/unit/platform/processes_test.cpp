#include "platform/processes.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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
}

}  // namespace
}  // namespace tramolin
