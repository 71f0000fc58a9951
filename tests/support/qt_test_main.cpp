// Test main for code that needs the program's application object and its event loop.
#include <gtest/gtest.h>

#include "shell/logging_application.h"

int main(int argc, char** argv) {
  tramolin::LoggingApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
