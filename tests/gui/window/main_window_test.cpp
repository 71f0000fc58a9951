// The main window over a main data module without a database: what each mode shows, the
// on-demand button, the grid's refreshes, the start-up minimisation and the closing question.
#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <filesystem>

#include "client/client_state.h"
#include "gui/window/window_fixture.h"
#include "platform/system_info.h"
#include "shell/activity_state.h"
#include "shell/tdm.h"
#include "ui/client_grid_model.h"
#include "ui/tray.h"
#include "util/cp1250.h"

namespace tramolin::testing {
namespace {

class MainWindowTest : public ::testing::Test {
 protected:
  void Open(const WindowSetup& setup) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    program_ = std::make_unique<WindowProgram>(test->name(), setup);
    WindowOptions options;
    options.confirm_close = [this] {
      ++questions_;
      return answer_yes_;
    };
    options.message_box = [this](const QString& text, MessageIcon) { boxes_ << text; };
    options.system_tray = false;
    window_ = std::make_unique<TfMainTramolin_2>(program_->Tdm(), options);
  }
  void TearDown() override {
    window_.reset();
    program_.reset();
  }

  TDM& Tdm() { return program_->Tdm(); }
  QPushButton* Replicate() {
    return window_->findChild<QPushButton*>(window_names::kReplicateButton);
  }
  QAbstractItemModel* Grid() {
    return window_->findChild<QTableView*>(window_names::kClientGrid)->model();
  }
  QString Cell(int row, int column) { return Grid()->index(row, column).data().toString(); }
  void AddSlot(std::string description, SlotStatus status, int progress) {
    TKlientInfo slot;
    slot.Opis = std::move(description);
    slot.Status = status;
    slot.Postep = progress;
    ClientSession& session = Tdm().Server().AddSlotWithoutConnection();
    session.Slot() = slot;
    Tdm().Server().SlotChanged(session);
  }

  // Every log file saved under Log/, joined.
  std::string SavedLogs() const {
    std::string all;
    for (const auto& file : std::filesystem::directory_iterator(program_->Dir() / "Log")) {
      all += program_->ReadFile("Log/" + file.path().filename().string());
    }
    return all;
  }

  std::unique_ptr<WindowProgram> program_;
  std::unique_ptr<TfMainTramolin_2> window_;
  int questions_ = 0;
  bool answer_yes_ = false;
  QStringList boxes_;
};

TEST_F(MainWindowTest, ServerWindowShowsTheGridAndHidesTheClientParts) {
  Open(ServerSetup());
  window_->show();
  EXPECT_EQ(window_->StatusValueText(StatusValue::kMode), "serwer");
  EXPECT_TRUE(window_->findChild<QTableView*>(window_names::kClientGrid)->isVisible());
  EXPECT_FALSE(Replicate()->isVisible());
  EXPECT_FALSE(window_->findChild<QWidget*>(window_names::kProgressGauge)->isVisible());
  EXPECT_FALSE(window_->findChild<QWidget*>(window_names::kTechnicianPanel)->isVisible());
  EXPECT_EQ(window_->findChild<QWidget*>(window_names::kStatusPanel)->height(), 49);
  EXPECT_FALSE(window_->TrayIcon().ReconnectAction()->isVisible());
  EXPECT_EQ(window_->pos(), QPoint(0, 0));
  ASSERT_EQ(Grid()->rowCount(), 1);
  for (int column = 0; column < kClientGridColumnCount; ++column) EXPECT_EQ(Cell(0, column), "");
}

TEST_F(MainWindowTest, ClientWindowShowsTheGaugeAndNoGrid) {
  Open(ClientSetup());
  window_->show();
  EXPECT_EQ(window_->StatusValueText(StatusValue::kMode), "klient");
  EXPECT_FALSE(window_->findChild<QTableView*>(window_names::kClientGrid)->isVisible());
  EXPECT_TRUE(window_->findChild<QWidget*>(window_names::kProgressGauge)->isVisible());
  EXPECT_EQ(window_->findChild<QWidget*>(window_names::kStatusPanel)->height(), 65);
  EXPECT_FALSE(window_->findChild<QWidget*>(window_names::kTechnicianPanel)->isVisible());
  EXPECT_TRUE(window_->TrayIcon().ReconnectAction()->isVisible());
}

TEST_F(MainWindowTest, TechnicianConsoleShowsTheCommandPanel) {
  Open(ClientSetup(false, {"-serwis"}));
  window_->show();
  EXPECT_TRUE(window_->findChild<QWidget*>(window_names::kTechnicianPanel)->isVisible());
}

TEST_F(MainWindowTest, ReplicateIsEnabledOnlyForAnOnDemandClientThatIsDisconnected) {
  struct Case {
    bool server;
    bool on_demand;
    int state;
    bool enabled;
  };
  const Case cases[] = {{false, true, kClientDisconnected, true},
                        {false, true, kClientLoggedIn, false},
                        {false, true, kClientConnecting, false},
                        {false, false, kClientDisconnected, false},
                        {true, true, kServerStarting, false}};
  for (const Case& c : cases) {
    Open(c.server ? ServerSetup() : ClientSetup(c.on_demand));
    if (c.server) {
      Tdm().Server().SetActivityState(static_cast<ServerState>(c.state));
    } else {
      Tdm().Client().SetActivityState(c.state);
    }
    window_->RefreshStatus();
    EXPECT_EQ(Replicate()->isEnabled(), c.enabled)
        << "server " << c.server << ", on demand " << c.on_demand << ", state " << c.state;
    TearDown();
  }
}

TEST_F(MainWindowTest, StatusPanelShowsStateTimeAndTransfer) {
  Open(ServerSetup());
  Tdm().Server().SetActivityState(kServerReady);
  window_->RefreshStatus();
  EXPECT_EQ(window_->StatusValueText(StatusValue::kActivityState), QString::fromUtf8("gotowość"));
  EXPECT_EQ(window_->StatusValueText(StatusValue::kTotalTransfer), "   0 b");
  EXPECT_FALSE(window_->StatusValueText(StatusValue::kRunningTime).isEmpty());
}

TEST_F(MainWindowTest, GridFollowsTheSlotsAndARowRefreshWhileMinimisedChangesNothing) {
  Open(ServerSetup());
  window_->show();
  AddSlot("Sklep", SlotStatus::kLoggedIn, 10);
  AddSlot("Magazyn", SlotStatus::kConnected, 0);
  window_->UpdateClientGrid();
  ASSERT_EQ(Grid()->rowCount(), 2);
  EXPECT_EQ(Cell(1, kColumnDescription), "Magazyn");

  window_->showMinimized();
  ClientSession& first = *Tdm().Server().SessionAt(0);
  first.Slot().Postep = 37;
  first.Slot().Status = SlotStatus::kImporting;
  Tdm().Server().SlotChanged(first);
  window_->RefreshClientRow(0);
  EXPECT_EQ(Cell(0, kColumnProgress), "10");
  EXPECT_EQ(Cell(0, kColumnStatus), "zalogowany");

  window_->showNormal();  // restoring shows current values
  EXPECT_EQ(Cell(0, kColumnProgress), "37");
  first.Slot().Postep = 50;
  Tdm().Server().SlotChanged(first);
  window_->RefreshClientRow(0);
  window_->RefreshClientRow(5);  // no such row
  EXPECT_EQ(Cell(0, kColumnProgress), "50");

  while (Tdm().Server().HasClients()) Tdm().Server().CloseSlot(0, false);
  window_->UpdateClientGrid();
  EXPECT_EQ(Grid()->rowCount(), 1);
  EXPECT_EQ(Cell(0, kColumnNumber), "");
}

TEST_F(MainWindowTest, ServerUpdatesReachTheGrid) {
  Open(ServerSetup());
  window_->show();
  AddSlot("Sklep", SlotStatus::kLoggedIn, 0);
  ClientSession& session = *Tdm().Server().SessionAt(0);
  session.Slot().DoWyslZmian = 42;
  Tdm().Server().SlotChanged(session);
  EXPECT_EQ(Cell(0, kColumnLocalChanges), "42");
}

TEST_F(MainWindowTest, CaptionCarriesTheVersionOnceShown) {
  Open(ServerSetup());
  EXPECT_EQ(window_->windowTitle(), "Tramolin");
  window_->show();
  EXPECT_EQ(window_->windowTitle().toStdString(), "Tramolin " + GetFileVersion(ProgramPath()));
  EXPECT_TRUE(window_->tmrGUI.isActive());
}

TEST_F(MainWindowTest, StartedWithMinTheWindowMinimisesOnce) {
  Open(ServerSetup({"-min"}));
  window_->show();
  ASSERT_TRUE(window_->tmrMinimize.isActive());
  EXPECT_EQ(window_->tmrMinimize.interval(), 500);
  window_->tmrMinimizeTimer();
  EXPECT_TRUE(window_->isMinimized());
  EXPECT_FALSE(window_->tmrMinimize.isActive());
  EXPECT_TRUE(window_->StartupMinimised());

  window_->showNormal();
  window_->hide();
  window_->show();
  EXPECT_FALSE(window_->tmrMinimize.isActive());

  emit Tdm().minimizeRequested();  // a later copy started with -min
  EXPECT_TRUE(window_->tmrMinimize.isActive());
}

TEST_F(MainWindowTest, OnDemandOrWithoutMinTheWindowStaysUp) {
  for (const WindowSetup& setup : {ClientSetup(true, {"-min"}), ServerSetup()}) {
    Open(setup);
    window_->show();
    EXPECT_FALSE(window_->tmrMinimize.isActive());
    TearDown();
  }
}

TEST_F(MainWindowTest, ClosingAsksOnceAndNoKeepsEverythingRunning) {
  Open(ServerSetup());
  window_->show();
  QSignalSpy closed(window_.get(), &TfMainTramolin_2::closed);

  answer_yes_ = false;
  EXPECT_FALSE(window_->close());
  EXPECT_EQ(questions_, 1);
  EXPECT_TRUE(window_->isVisible());
  EXPECT_FALSE(Tdm().Closing());
  EXPECT_TRUE(window_->tmrGUI.isActive());
  EXPECT_EQ(closed.count(), 0);

  answer_yes_ = true;
  EXPECT_TRUE(window_->close());
  EXPECT_EQ(questions_, 2);
  EXPECT_TRUE(Tdm().Closing());
  EXPECT_EQ(closed.count(), 1);
  EXPECT_NE(SavedLogs().find("Zamykanie ("), std::string::npos);  // saved on closing

  window_->show();  // Closing is set: no second question
  EXPECT_TRUE(window_->close());
  EXPECT_EQ(questions_, 2);
}

TEST_F(MainWindowTest, ServiceWithoutWindowClosesWithoutAsking) {
  Open(ServerSetup({"-s"}));
  EXPECT_TRUE(window_->close());
  EXPECT_EQ(questions_, 0);
  EXPECT_TRUE(Tdm().Closing());
}

TEST_F(MainWindowTest, LogViewKeepsTheProgramsLinesAndShowsThemInUtf8) {
  Open(ServerSetup());
  window_->AppendLogLine("Zażółć"_cp);
  window_->AppendToLastLogLine(" gęślą"_cp);
  window_->AppendLogLine("jaźń"_cp);
  ASSERT_EQ(window_->LogLineCount(), 2u);
  EXPECT_EQ(window_->LogLines()[0], std::string("Zażółć gęślą"_cp));
  auto* log = window_->findChild<QPlainTextEdit*>(window_names::kLog);
  EXPECT_EQ(log->toPlainText(), QString::fromUtf8("Zażółć gęślą\njaźń"));
  window_->ClearLog();
  EXPECT_EQ(window_->LogLineCount(), 0u);
  EXPECT_TRUE(log->toPlainText().isEmpty());

  window_->ShowStatusClick();
  ASSERT_GE(window_->LogLineCount(), 1u);
  EXPECT_NE(window_->LogLines()[0].find("Raport stanu serwera:"), std::string::npos);
}

}  // namespace
}  // namespace tramolin::testing
