// Real processes of the program in their own folders: the single-copy rule, the messages to the
// running copy, a service start without configuration, an orderly end on SIGTERM.
#include <gtest/gtest.h>

#include <QProcess>
#include <csignal>

#include "integration/program_folder.h"

namespace tramolin::testing {
namespace {

// A technician's console needs no database, so a first copy can run without one. The empty
// server keeps the configuration's look at the database server on this machine.
const char kTechnicianConfiguration[] = "[DB]\r\nDBHOST=\r\n[Tramolin]\r\nMode=0\r\n";

class SecondCopyTest : public ::testing::Test {
 protected:
  SecondCopyTest()
      : folder_(std::string("t2_") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name()) {}

  QProcess& StartFirstCopy() {
    folder_.WriteFile("Tramolin2.ini", kTechnicianConfiguration);
    QProcess& first = folder_.Start({"-serwis", "-d"});
    EXPECT_TRUE(folder_.WaitFor("pid")) << first.readAll().toStdString();
    return first;
  }
  std::string Debug() const { return folder_.ReadText("Tramolin2_debug.log"); }

  ProgramFolder folder_;
};

TEST_F(SecondCopyTest, SecondCopyReportsTheRunningCopyBringsItForwardAndExits) {
  QProcess& first = StartFirstCopy();
  EXPECT_EQ(folder_.Run({"-serwis", "-min", "-h=1234"}), 0);
  EXPECT_NE(folder_.ReadText("Tramolin2_error.log").find("Program jest już uruchomiony."),
            std::string::npos);
  EXPECT_NE(
      folder_.ReadText("Tramolin2_error.log").find("poleceniem \"systemctl stop Tramolin2\","),
      std::string::npos);
  EXPECT_TRUE(folder_.WaitFor("Tramolin2_debug.log", "Komunikat 1177 (1234, 0)"));
  EXPECT_NE(Debug().find("Komunikat 1174 (0, 0)"), std::string::npos);
  EXPECT_NE(Debug().find("Komunikat 1175 (0, 0)"), std::string::npos);
  EXPECT_EQ(first.state(), QProcess::Running);
}

TEST_F(SecondCopyTest, QuietSecondCopyDeliversWithoutTheLogLine) {
  StartFirstCopy();
  EXPECT_EQ(folder_.Run({"-serwis", "-ms"}), 0);
  EXPECT_FALSE(folder_.Exists("Tramolin2_error.log"));
  EXPECT_TRUE(folder_.WaitFor("Tramolin2_debug.log", "Komunikat 1174 (0, 0)"));
}

TEST_F(SecondCopyTest, WithMultiSwitchBothCopiesRunAndEndOnSigterm) {
  QProcess& first = StartFirstCopy();
  QProcess& second = folder_.Start({"-serwis", "-m", "-d"});
  EXPECT_FALSE(second.waitForFinished(1500));
  ASSERT_EQ(second.state(), QProcess::Running);
  for (QProcess* process : {&first, &second}) {
    ::kill(static_cast<pid_t>(process->processId()), SIGTERM);
    ASSERT_TRUE(process->waitForFinished(10000));
    EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process->exitCode(), 0);
  }
  EXPECT_NE(Debug().find("Zamykanie ("), std::string::npos);
  EXPECT_NE(Debug().find("DataModuleDestroy"), std::string::npos);
}

TEST(ServiceStartTest, ServiceWithoutConfigurationExitsWithAnErrorLine) {
  ProgramFolder folder("t2_noconfig");
  EXPECT_EQ(folder.Run({"-s"}), 1);
  EXPECT_NE(folder.ReadText("Tramolin2_error.log").find("Brak pliku konfiguracji"),
            std::string::npos);
  EXPECT_FALSE(folder.Exists("Tramolin2.ini"));
}

}  // namespace
}  // namespace tramolin::testing
