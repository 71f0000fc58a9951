#include "net/restart_timer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

namespace tramolin {
namespace {

// A single-shot-like timer as the handlers use it: counts its firings.
class RestartTimerTest : public ::testing::Test {
 protected:
  RestartTimerTest() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { ++firings_; });
  }

  // Runs the event loop for a while, so a timer that fires on every pass would fire many times.
  static void SpinEventLoop(int duration_ms) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < duration_ms) QCoreApplication::processEvents();
  }

  QTimer timer_;
  int firings_ = 0;
};

TEST_F(RestartTimerTest, PositiveIntervalRestartsTheCountdown) {
  RestartTimer(timer_, 10);
  EXPECT_TRUE(timer_.isActive());
  EXPECT_EQ(timer_.interval(), 10);
  SpinEventLoop(50);
  EXPECT_GT(firings_, 0);
}

TEST_F(RestartTimerTest, CurrentIntervalIsKeptWhenNoneIsGiven) {
  timer_.setInterval(25);
  RestartTimer(timer_);
  EXPECT_TRUE(timer_.isActive());
  EXPECT_EQ(timer_.interval(), 25);
}

// Zero given, or zero already set and restarted with the current interval: never fires.
TEST_F(RestartTimerTest, ZeroIntervalStopsTheTimerAndItNeverFires) {
  for (const int restart_interval : {0, -1}) {
    SCOPED_TRACE(restart_interval);
    firings_ = 0;
    timer_.start(10);
    if (restart_interval == -1) timer_.setInterval(0);
    RestartTimer(timer_, restart_interval);
    EXPECT_FALSE(timer_.isActive());
    EXPECT_EQ(timer_.interval(), 0);
    SpinEventLoop(30);
    EXPECT_EQ(firings_, 0);
  }
}

}  // namespace
}  // namespace tramolin
