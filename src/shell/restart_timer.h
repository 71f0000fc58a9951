// Restarting a timer's countdown: most timer handlers stop their own timer, so one restart gives
// one firing.
#pragma once

#include <QTimer>

namespace tramolin {

// The countdown starts anew now, with the given interval, or the current one for -1.
inline void RestartTimer(QTimer& timer, int interval_ms = -1) {
  timer.stop();
  if (interval_ms != -1) timer.setInterval(interval_ms);
  timer.start();
}

}  // namespace tramolin
