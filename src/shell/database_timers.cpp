#include "shell/database_timers.h"

namespace tramolin {
namespace {

constexpr int kActivityJournalIntervalMs = 14'400'000;
constexpr int kForceDisconnectIntervalMs = 1000;
constexpr int kTechnicianIdleDisconnectIntervalMs = 180'000;

}  // namespace

DatabaseTimers::DatabaseTimers(bool technician, DatabaseTimerHooks hooks, QObject* parent)
    : QObject(parent), hooks_(std::move(hooks)) {
  for (QTimer* timer : {&tmrDBDisconnect, &tmrDBForceDisconnect, &tmrREPINFO}) {
    timer->setParent(this);
  }
  tmrREPINFO.setInterval(kActivityJournalIntervalMs);
  tmrDBForceDisconnect.setInterval(kForceDisconnectIntervalMs);
  tmrDBDisconnect.setInterval(technician ? kTechnicianIdleDisconnectIntervalMs
                                         : kIdleDisconnectIntervalMs);
  connect(&tmrDBDisconnect, &QTimer::timeout, this, &DatabaseTimers::tmrDBDisconnectTimer);
  connect(&tmrDBForceDisconnect, &QTimer::timeout, this,
          &DatabaseTimers::tmrDBForceDisconnectTimer);
  connect(&tmrREPINFO, &QTimer::timeout, this, &DatabaseTimers::tmrREPINFOTimer);
  tmrREPINFO.start();
}

void DatabaseTimers::tmrDBDisconnectTimer() {
  tmrDBDisconnect.stop();
  if (hooks_.idle()) hooks_.disconnect(false);
}

void DatabaseTimers::tmrDBForceDisconnectTimer() {
  tmrDBForceDisconnect.stop();
  hooks_.disconnect(true);
}

void DatabaseTimers::tmrREPINFOTimer() { hooks_.touch_activity(); }

}  // namespace tramolin
