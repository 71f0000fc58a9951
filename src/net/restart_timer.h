// Restarting a timer's countdown: most timer handlers stop their own timer, so one restart gives
// one firing.
#pragma once

#include <QTimer>

namespace tramolin {

// The countdown starts anew now, with the given interval, or the current one for -1. An interval
// of 0 (or below) means "never": the timer is stopped and stays stopped, where a running QTimer
// of interval 0 would fire on every pass of the event loop.
inline void RestartTimer(QTimer& timer, int interval_ms = -1) {
  timer.stop();
  if (interval_ms != -1) timer.setInterval(interval_ms);
  if (timer.interval() > 0) timer.start();
}

}  // namespace tramolin
