// Test main for the window: a widget application on Qt's offscreen platform.
#include <gtest/gtest.h>

#include <QtGlobal>

#include "ui/desktop_application.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  tramolin::LoggingWidgetApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
