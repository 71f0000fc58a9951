#include "shell/activity_state.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <filesystem>
#include <fstream>

#include "shell/instance_channel.h"
#include "shell/tdm.h"
#include "unit/shell/recording_window.h"
#include "util/cp1250.h"

namespace tramolin {
namespace {

namespace fs = std::filesystem;

TEST(ActivityStateRulesTest, DisconnectedClientIsGreyOnDemandAndRedOtherwise) {
  bool held_back = false;
  EXPECT_EQ(ClientTrayIcon(0, true, held_back), kTrayGrey);
  EXPECT_EQ(ClientTrayIcon(0, false, held_back), kTrayRed);
  EXPECT_EQ(ClientTrayIcon(11, false, held_back), std::nullopt);
}

TEST(ActivityStateRulesTest, HeldBackRecordsShowBlueOnceOnReturnToLoggedIn) {
  bool held_back = true;
  EXPECT_EQ(ClientTrayIcon(6, false, held_back), kTrayGreen);
  EXPECT_TRUE(held_back);
  EXPECT_EQ(ClientTrayIcon(kClientLoggedIn, false, held_back), kTrayBlue);
  EXPECT_FALSE(held_back);
  EXPECT_EQ(ClientTrayIcon(kClientLoggedIn, false, held_back), kTrayWhite);
}

TEST(ActivityStateRulesTest, NamesFollowTheMode) {
  EXPECT_EQ(ActivityStateName(true, 1), "gotowość"_cp);
  EXPECT_EQ(ActivityStateName(false, 9), "oczekiwanie na potw."_cp);
  EXPECT_EQ(ActivityStateName(true, 4), "");
  EXPECT_EQ(ActivityStateName(false, -1), "");
}

class TdmActivityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tdm_activity_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::unique_ptr<TDM> MakeTdm(const std::string& ini_text, std::vector<std::string> args = {}) {
    if (!ini_text.empty()) {
      std::ofstream(dir_ / "Tramolin2.ini") << ini_text;
    }
    ShellServices services;
    services.app_dir = dir_;
    services.executable_name = "tramolin2_activity_test";
    services.command_line = CommandLine(std::move(args));
    services.clock = [] { return 46000.5; };
    services.firebird_probe = [](const TConfig&) { return std::optional<std::string>(); };
    return std::make_unique<TDM>(std::move(services));
  }

  fs::path dir_;
};

TEST_F(TdmActivityTest, ClientStatesArmAndDisarmTheReplyTimeout) {
  auto tdm = MakeTdm("[Tramolin]\r\nMode=0\r\n");
  tdm->Client().SetActivityState(2);
  EXPECT_TRUE(tdm->Client().tmrKTimeOut.isActive());
  EXPECT_EQ(tdm->Client().tmrKTimeOut.interval(), 600'000);
  tdm->Client().SetActivityState(9);
  EXPECT_EQ(tdm->Client().tmrKTimeOut.interval(), 3'600'000);
  tdm->Client().SetActivityState(kClientLoggedIn);
  EXPECT_FALSE(tdm->Client().tmrKTimeOut.isActive());
  EXPECT_EQ(tdm->ClientSide().TrayIconIndex(), kTrayWhite);
}

TEST_F(TdmActivityTest, ServerStatesNeverTouchTrayOrTimeout) {
  RecordingWindow window;  // outlives the TDM that logs into it
  auto tdm = MakeTdm("[Tramolin]\r\nMode=1\r\n");
  tdm->SetWindow(&window);
  tdm->Server().SetActivityState(kServerPreparing);
  EXPECT_EQ(window.state, "przygotowywanie");
  EXPECT_FALSE(tdm->Client().tmrKTimeOut.isActive());
  EXPECT_EQ(tdm->ClientSide().TrayIconIndex(), std::nullopt);
}

TEST_F(TdmActivityTest, SameStateStillLogsBothNamesAndRearmsTheTimeout) {
  auto tdm = MakeTdm("[Tramolin]\r\nMode=0\r\n", {"-d"});
  tdm->Client().SetActivityState(3);
  tdm->Client().SetActivityState(3);
  std::ifstream debug(dir_ / "Tramolin2_debug.log", std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(debug)), {});
  EXPECT_NE(text.find("autoryzowanie > autoryzowanie"), std::string::npos);
  EXPECT_TRUE(tdm->Client().tmrKTimeOut.isActive());
}

TEST_F(TdmActivityTest, RegisteredHostWindowReceivesClientStateAndFlags) {
  auto tdm = MakeTdm("[Tramolin]\r\nMode=0\r\n[Klient]\r\nOnDemand=1\r\n");
  ASSERT_TRUE(tdm->OpenInstanceChannel());
  QLocalSocket host;
  host.connectToServer(TDM::InstanceChannelName("tramolin2_activity_test"));
  ASSERT_TRUE(host.waitForConnected(1000));
  host.write(MessageLine({kMsgHostWindow, 4321, 0}));
  host.flush();
  QElapsedTimer waited;
  waited.start();
  while (tdm->HostWindow() != 4321 && waited.elapsed() < 3000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  ASSERT_EQ(tdm->HostWindow(), 4321);

  tdm->Client().HoldBack();
  tdm->Client().SetActivityState(6);
  QByteArray received;
  while (received.count('\n') < 3 && waited.elapsed() < 5000) {
    host.waitForReadyRead(50);
    received += host.readAll();
  }
  // Greeting, the report on registration, the report of state 6 (on demand + held back).
  EXPECT_TRUE(received.contains("MSG 1177 0 1\n"));
  EXPECT_TRUE(received.contains("MSG 1177 6 3\n"));
}

TEST_F(TdmActivityTest, DialogEventStartsOnlyAnIdleClientsSynchronisation) {
  struct Case {
    const char* mode;
    int state;
    bool starts;
  };
  for (const Case& c : {Case{"0", kClientLoggedIn, true}, Case{"0", kClientProcessing, false},
                        Case{"1", kServerReady, false}}) {
    auto tdm = MakeTdm(std::string("[Tramolin]\r\nMode=") + c.mode + "\r\n");
    tdm->Client().SetActivityState(c.state);
    tdm->DatabaseEventArrived("REPDIALOGINSERT", 1);
    EXPECT_EQ(tdm->Client().tmrKReplikuj.isActive(), c.starts) << c.mode << " " << c.state;
    EXPECT_EQ(tdm->Client().tmrKReplikuj.interval(), 50);
  }
}

TEST_F(TdmActivityTest, UpgradeEventClosesTheDatabaseASecondLaterInBothModes) {
  for (const char* mode : {"0", "1"}) {
    auto tdm = MakeTdm(std::string("[Tramolin]\r\nMode=") + mode + "\r\n", {"-d"});
    tdm->DatabaseEventArrived("DBUPGRADE", 1);
    EXPECT_TRUE(tdm->Timers().tmrDBForceDisconnect.isActive()) << mode;
    EXPECT_EQ(tdm->Timers().tmrDBForceDisconnect.interval(), 1000);
  }
  std::ifstream debug(dir_ / "Tramolin2_debug.log", std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(debug)), {});
  EXPECT_NE(text.find("Otrzymano komunikat \"DBUPGRADE\" (1)"), std::string::npos);
  EXPECT_NE(text.find("Aktualizacja struktury głównej bazy danych. Rozłączanie wszystkich "
                      "klientów."_cp),
            std::string::npos);
}

}  // namespace
}  // namespace tramolin
