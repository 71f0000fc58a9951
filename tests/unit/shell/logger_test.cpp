#include "shell/logger.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "unit/shell/recording_window.h"
#include "util/day_time.h"

namespace tramolin {
namespace {

namespace fs = std::filesystem;

const double kNoon = ToDayCount({2026, 12, 9, 12, 0, 0, 0});

std::string FileText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("logger_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  Logger Make(ProcessKind kind, bool with_window = true) {
    Logger logger(dir_, kind, [] { return kNoon; });
    if (with_window) logger.SetWindow(&window_);
    return logger;
  }
  std::string ErrorFile() const { return FileText(dir_ / "Tramolin2_error.log"); }
  std::string DebugFile() const { return FileText(dir_ / "Tramolin2_debug.log"); }
  std::size_t SavedLogFiles() const {
    if (!fs::exists(dir_ / "Log")) return 0;
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_ / "Log"), {}));
  }

  fs::path dir_;
  RecordingWindow window_;
};

TEST_F(LoggerTest, InteractiveErrorGoesToWindowAndErrorFileWithStamp) {
  Logger logger = Make(ProcessKind::kInteractive);
  logger.Log("awaria", kLogError);
  ASSERT_EQ(window_.lines.size(), 1u);
  EXPECT_EQ(window_.lines[0], "2026.12.09 12:00:00.000 awaria");
  EXPECT_EQ(ErrorFile(), "2026.12.09 12:00:00.000 awaria\r\n");
  EXPECT_FALSE(fs::exists(dir_ / "Tramolin2_debug.log"));
}

TEST_F(LoggerTest, DiagnosticLinesOnlyInDebugMode) {
  Logger logger = Make(ProcessKind::kInteractive);
  logger.Log("cicho", kLogDiagnostic);
  EXPECT_TRUE(window_.lines.empty());
  logger.SetDebugMode(true);
  logger.Log("glosno", kLogDiagnostic);
  EXPECT_EQ(window_.lines.size(), 1u);
  EXPECT_EQ(DebugFile(), "2026.12.09 12:00:00.000 glosno\r\n");
}

TEST_F(LoggerTest, ContinuingLineExtendsTheLastWindowLineUnlessDebugging) {
  Logger logger = Make(ProcessKind::kInteractive);
  logger.Log("Wysylanie", kLogProgress);
  logger.Log(" OK", kLogProgress, true);
  ASSERT_EQ(window_.lines.size(), 1u);
  EXPECT_EQ(window_.lines[0], "2026.12.09 12:00:00.000 Wysylanie OK");

  logger.SetDebugMode(true);
  logger.Log(" znowu", kLogProgress, true);
  EXPECT_EQ(window_.lines.size(), 2u);
}

TEST_F(LoggerTest, InformationAndErrorBoxesOnlyForInteractiveProcess) {
  Logger interactive = Make(ProcessKind::kInteractive);
  interactive.Log("info", kLogInfo);
  interactive.Log("blad", kLogErrorBox);
  EXPECT_EQ(window_.boxes, (std::vector<std::string>{"info", "blad"}));
  EXPECT_EQ(window_.last_icon, MessageIcon::kError);

  RecordingWindow service_window;
  Logger service(dir_, ProcessKind::kServiceWithWindow, [] { return kNoon; });
  service.SetWindow(&service_window);
  service.Log("info", kLogInfo);
  EXPECT_TRUE(service_window.boxes.empty());
  EXPECT_EQ(service_window.lines.size(), 1u);
}

TEST_F(LoggerTest, ServiceWithoutWindowBuffersLinesAndIgnoresStatusText) {
  Logger logger = Make(ProcessKind::kServiceWithoutWindow);
  logger.Log("postep", kLogProgress);
  logger.Log("status", kLogStatus);
  logger.Log("blad", kLogSerious);
  EXPECT_TRUE(window_.lines.empty());
  EXPECT_TRUE(window_.status.empty());
  EXPECT_EQ(logger.LogBuffer(), std::vector<std::string>{"2026.12.09 12:00:00.000 postep"});
  EXPECT_EQ(ErrorFile(), "2026.12.09 12:00:00.000 blad\r\n");
  EXPECT_EQ(SavedLogFiles(), 0u);
}

TEST_F(LoggerTest, ErrorBeforeTheWindowExistsReachesOnlyTheFiles) {
  Logger logger = Make(ProcessKind::kInteractive, /*with_window=*/false);
  logger.SetDebugMode(true);
  logger.Log("wczesny blad", kLogError);
  EXPECT_EQ(ErrorFile(), "2026.12.09 12:00:00.000 wczesny blad\r\n");
  EXPECT_EQ(DebugFile(), "2026.12.09 12:00:00.000 wczesny blad\r\n");
}

TEST_F(LoggerTest, TheLineAfterFiveThousandSavesTheWindowAndStartsItWithTheFileName) {
  Logger logger = Make(ProcessKind::kInteractive);
  for (int i = 0; i < 5000; ++i) logger.Log("linia", kLogProgress);
  EXPECT_EQ(SavedLogFiles(), 0u);
  logger.Log("linia 5001", kLogProgress);
  EXPECT_EQ(SavedLogFiles(), 1u);
  ASSERT_EQ(window_.lines.size(), 1u);
  EXPECT_NE(window_.lines[0].find("Zapis log do pliku ... \""), std::string::npos);
  EXPECT_NE(window_.lines[0].find("2026.12.09 12.00.00.log\""), std::string::npos);
}

TEST_F(LoggerTest, TwoSavesWithinOneSecondKeepBothSetsOfLines) {
  Logger logger = Make(ProcessKind::kServiceWithoutWindow);
  logger.Log("pierwsza", kLogProgress);
  logger.SaveLog(true);
  logger.Log("druga", kLogProgress);
  logger.SaveLog(true);
  const std::string saved = FileText(dir_ / "Log" / "2026.12.09 12.00.00.log");
  EXPECT_NE(saved.find("pierwsza"), std::string::npos);
  EXPECT_NE(saved.find("druga"), std::string::npos);
}

TEST_F(LoggerTest, FullLogOnlyWhenSwitchedOnAndContinuationsJoinTheLastLine) {
  Logger logger = Make(ProcessKind::kInteractive);
  logger.Log("rekord", kLogRecord);
  EXPECT_TRUE(logger.FullLogBuffer().empty());
  logger.SetFullLog(true);
  logger.Log("rekord 1", kLogRecord);
  logger.Log(" OK", kLogRecord, true);
  EXPECT_EQ(logger.FullLogBuffer(),
            std::vector<std::string>{"2026.12.09 12:00:00.000 rekord 1 OK"});
  EXPECT_TRUE(window_.lines.empty());
  logger.SaveFullLog(true);
  EXPECT_EQ(FileText(dir_ / "Log" / "2026.12.09 12.00.00_full.log"),
            "2026.12.09 12:00:00.000 rekord 1 OK\r\n");
}

TEST_F(LoggerTest, BroadcastSkipsStatusAndRecordLevels) {
  Logger logger = Make(ProcessKind::kInteractive);
  std::vector<int> broadcast_levels;
  logger.SetBroadcast([&](std::string_view, int level) { broadcast_levels.push_back(level); });
  for (int level = 1; level <= 8; ++level) logger.Log("x", level);
  EXPECT_EQ(broadcast_levels, (std::vector<int>{1, 2, 3, 4, 6, 8}));
}

TEST_F(LoggerTest, EscapedExceptionIsLoggedWithItsClassAndMessage) {
  Logger logger = Make(ProcessKind::kInteractive);
  logger.LogException("tmrKConnect", std::runtime_error("zly stan"));
  ASSERT_EQ(window_.lines.size(), 1u);
  EXPECT_EQ(window_.lines[0],
            "2026.12.09 12:00:00.000 Application.Exception tmrKConnect std::runtime_error "
            "\"zly stan\"(0)");
}

}  // namespace
}  // namespace tramolin
