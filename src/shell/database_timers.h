// The timers around the local database's connection: it is let go after a while without work
// (13 minutes, 3 for a technician), a second after a structure upgrade is announced whatever it
// does, and the activity journal is touched every four hours.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

namespace tramolin {

struct DatabaseTimerHooks {
  std::function<bool()> idle;  // nothing uses the connection now
  std::function<void(bool force)> disconnect;
  std::function<void()> touch_activity;
};

class DatabaseTimers : public QObject {
  Q_OBJECT

 public:
  DatabaseTimers(bool technician, DatabaseTimerHooks hooks, QObject* parent = nullptr);

  // Intervals in ms.
  QTimer tmrDBDisconnect;
  QTimer tmrDBForceDisconnect;
  QTimer tmrREPINFO;
  void tmrDBDisconnectTimer();
  void tmrDBForceDisconnectTimer();
  void tmrREPINFOTimer();

 private:
  DatabaseTimerHooks hooks_;
};

// The idle disconnect after the start of work and after the last client has gone.
inline constexpr int kIdleDisconnectIntervalMs = 780'000;

}  // namespace tramolin
