#include "shell/logging_application.h"

#include <gtest/gtest.h>

#include <QTimer>
#include <filesystem>
#include <stdexcept>

#include "shell/logger.h"
#include "unit/shell/recording_window.h"

namespace tramolin {
namespace {

TEST(LoggingApplicationTest, AnExceptionEscapingAnEventHandlerIsLoggedAndTheLoopGoesOn) {
  auto* app = static_cast<LoggingApplication*>(QCoreApplication::instance());
  RecordingWindow window;
  const auto dir = std::filesystem::temp_directory_path() / "logging_application_test";
  Logger logger(dir, ProcessKind::kInteractive, [] { return 0.0; });
  logger.SetWindow(&window);
  app->SetLogger(&logger);

  QTimer failing;
  failing.setObjectName("tmrKConnect");
  failing.setSingleShot(true);
  QObject::connect(&failing, &QTimer::timeout, [] { throw std::runtime_error("zly stan"); });
  failing.start(0);
  bool later_event_ran = false;
  QTimer::singleShot(20, [&] {
    later_event_ran = true;
    QCoreApplication::quit();
  });
  QCoreApplication::exec();
  app->SetLogger(nullptr);
  std::filesystem::remove_all(dir);

  EXPECT_TRUE(later_event_ran);
  ASSERT_EQ(window.lines.size(), 1u);
  EXPECT_NE(
      window.lines[0].find("Application.Exception tmrKConnect std::runtime_error \"zly stan\"(0)"),
      std::string::npos);
}

}  // namespace
}  // namespace tramolin
