// The tray and its menu: items in order with their hints, the autostart entry and the
// register-refresh option switched and ticked, the program's file shown, minimising and restoring.
#include "ui/tray.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMenuBar>
#include <QtGlobal>
#include <filesystem>
#include <fstream>

#include "client/client_state.h"
#include "gui/window/window_fixture.h"
#include "platform/system_info.h"
#include "shell/activity_state.h"
#include "shell/tdm.h"
#include "ui/main_window.h"

namespace tramolin::testing {
namespace {

// A desktop whose file manager selects files or not, as told; notes what it was asked.
struct FakeFileLocation final : FileLocation {
  void SelectInFileManager(const QString& file, std::function<void(bool)> done) override {
    selected << file;
    done(file_manager);
  }
  void OpenFolder(const QString& folder) override { opened << folder; }
  bool file_manager = false;
  QStringList selected, opened;
};

class TrayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config_home_ = std::filesystem::temp_directory_path() / "tramolin_window_xdg";
    std::filesystem::remove_all(config_home_);
    saved_config_home_ = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config_home_.string()));
  }
  void TearDown() override {
    window_.reset();
    program_.reset();
    qputenv("XDG_CONFIG_HOME", saved_config_home_);
    std::filesystem::remove_all(config_home_);
  }
  void Open(const WindowSetup& setup, bool system_tray,
            std::shared_ptr<FileLocation> desktop = nullptr) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    program_ = std::make_unique<WindowProgram>(test->name(), setup);
    WindowOptions options;
    options.confirm_close = [] { return true; };
    options.message_box = [](const QString&, MessageIcon) {};
    options.system_tray = system_tray;
    options.file_location = std::move(desktop);
    window_ = std::make_unique<TfMainTramolin_2>(program_->Tdm(), options);
  }
  Tray& TheTray() { return window_->TrayIcon(); }
  std::filesystem::path AutostartEntry() const {
    return config_home_ / "autostart" / "Tramolin2.desktop";
  }

  std::filesystem::path config_home_;
  QByteArray saved_config_home_;
  std::unique_ptr<WindowProgram> program_;
  std::unique_ptr<TfMainTramolin_2> window_;
};

TEST_F(TrayTest, MenuItemsComeInOrderWithTheirHints) {
  Open(ClientSetup(), /*system_tray=*/true);
  QStringList items;
  for (QAction* action : TheTray().Menu().actions()) {
    items << (action->isSeparator() ? "-" : action->text() + " | " + action->statusTip());
  }
  EXPECT_EQ(items,
            QStringList({QString::fromUtf8("Zapisz log | Zapisz informacje o czasie pracy do "
                                           "plików log"),
                         QString::fromUtf8("Przywróć | Wyświetl główne okno tramolina"),
                         QString::fromUtf8("Rozłącz / połącz | "),
                         QString::fromUtf8("Otwórz lokalizację pliku ... | "), "-",
                         QString::fromUtf8("Autostart | Uruchamiaj wraz z sesją pulpitu "
                                           "(autostart XDG)"),
                         QString::fromUtf8("Odświeżaj rejestry | Automatycznie odświeżaj "
                                           "rejestry po replikacji danych ..."),
                         "-", QString::fromUtf8("Zamknij | Zakończ pracę tramolina")}));
}

TEST_F(TrayTest, AutostartTwiceCreatesAndRemovesTheEntryAndTheTickFollows) {
  Open(ServerSetup(), /*system_tray=*/false);
  TheTray().RefreshTicks();
  EXPECT_FALSE(TheTray().AutostartAction()->isChecked());

  TheTray().AutostartAction()->trigger();
  ASSERT_TRUE(std::filesystem::exists(AutostartEntry()));
  EXPECT_TRUE(TheTray().AutostartAction()->isChecked());
  std::ifstream entry(AutostartEntry());
  const std::string text((std::istreambuf_iterator<char>(entry)), {});
  EXPECT_NE(text.find("\" -min\n"), std::string::npos) << text;

  TheTray().AutostartAction()->trigger();
  EXPECT_FALSE(std::filesystem::exists(AutostartEntry()));
  EXPECT_FALSE(TheTray().AutostartAction()->isChecked());

  std::filesystem::create_directories(AutostartEntry().parent_path());
  std::ofstream(AutostartEntry()) << "[Desktop Entry]\n";  // made by someone else
  TheTray().RefreshTicks();
  EXPECT_TRUE(TheTray().AutostartAction()->isChecked());
}

TEST_F(TrayTest, RegisterRefreshSwitchesEventsAndSavesTheConfiguration) {
  Open(ServerSetup(), /*system_tray=*/false);
  TheTray().EventsAction()->trigger();
  EXPECT_TRUE(program_->Tdm().Config().Events);
  EXPECT_TRUE(TheTray().EventsAction()->isChecked());
  EXPECT_NE(program_->ReadFile("Tramolin2.ini").find("Events=1"), std::string::npos);

  TheTray().EventsAction()->trigger();
  EXPECT_FALSE(program_->Tdm().Config().Events);
  EXPECT_NE(program_->ReadFile("Tramolin2.ini").find("Events=0"), std::string::npos);
}

TEST_F(TrayTest, OpenLocationSelectsTheProgramInTheFileManagerOrOpensItsFolder) {
  auto desktop = std::make_shared<FakeFileLocation>();
  Open(ServerSetup(), /*system_tray=*/false, desktop);
  QAction* open_location = TheTray().Menu().actions()[3];
  open_location->trigger();
  EXPECT_EQ(desktop->selected, QStringList(QString::fromStdString(ProgramPath().string())));
  EXPECT_EQ(desktop->opened,
            QStringList(QString::fromStdString(program_->Tdm().AppDir().string())));

  desktop->file_manager = true;
  open_location->trigger();
  EXPECT_EQ(desktop->selected.size(), 2);
  EXPECT_EQ(desktop->opened.size(), 1);
}

TEST_F(TrayTest, WithoutASystemTrayTheMenuIsInTheMenuBarAndMinimisingStaysMinimised) {
  Open(ServerSetup(), /*system_tray=*/false);
  window_->show();
  ASSERT_EQ(window_->menuBar()->actions().size(), 1);
  EXPECT_EQ(window_->menuBar()->actions()[0]->menu(), &TheTray().Menu());
  EXPECT_FALSE(TheTray().Menu().actions()[1]->isVisible());  // "Przywróć"

  window_->showMinimized();
  QApplication::processEvents();
  EXPECT_TRUE(window_->isVisible());
  EXPECT_FALSE(TheTray().IconVisible());
}

TEST_F(TrayTest, MinimisingMovesTheWindowIntoTheTrayAndRestoringBringsItBack) {
  Open(ServerSetup(), /*system_tray=*/true);
  window_->show();
  EXPECT_TRUE(window_->menuBar()->actions().isEmpty());
  window_->showMinimized();
  QApplication::processEvents();
  EXPECT_FALSE(window_->isVisible());
  EXPECT_TRUE(TheTray().IconVisible());

  emit program_->Tdm().restoreRequested();  // a later copy, or the icon's double click
  EXPECT_TRUE(window_->isVisible());
  EXPECT_FALSE(window_->isMinimized());
  EXPECT_FALSE(TheTray().IconVisible());
}

TEST_F(TrayTest, CloseItemClosesTheWindowAfterTheQuestion) {
  Open(ServerSetup(), /*system_tray=*/false);
  window_->show();
  TheTray().CloseClick();
  EXPECT_FALSE(window_->isVisible());
  EXPECT_TRUE(program_->Tdm().Closing());
}

TEST_F(TrayTest, IconsDifferByStateAndTheProgramHasItsOwn) {
  std::vector<QImage> images;
  for (const std::optional<int> index :
       {std::optional<int>(), std::optional<int>(0), std::optional<int>(1), std::optional<int>(2),
        std::optional<int>(3), std::optional<int>(4), std::optional<int>(5)}) {
    const QImage image = StateIcon(index).pixmap(16, 16).toImage();
    ASSERT_EQ(image.size(), QSize(16, 16));
    for (const QImage& other : images) EXPECT_NE(image, other);
    images.push_back(image);
  }
}

TEST_F(TrayTest, ClientStateChangesTheWindowIcon) {
  Open(ClientSetup(), /*system_tray=*/false);
  const QImage before = window_->windowIcon().pixmap(16, 16).toImage();
  program_->Tdm().Client().SetActivityState(kClientDisconnected);  // red
  const QImage red = window_->windowIcon().pixmap(16, 16).toImage();
  EXPECT_NE(before, red);
  EXPECT_EQ(red, StateIcon(kTrayRed).pixmap(16, 16).toImage());
}

}  // namespace
}  // namespace tramolin::testing
