// The system's requests to end the process (SIGTERM, SIGINT, SIGHUP: shutdown, log-off, the
// service manager stopping the service) delivered as a Qt signal on the main thread.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace tramolin {

class ShutdownSignals : public QObject {
  Q_OBJECT

 public:
  // Must run in main() before any other thread starts, so every thread inherits the mask and
  // the signals are only read here.
  static void BlockInAllThreads();

  explicit ShutdownSignals(QObject* parent = nullptr);
  ~ShutdownSignals() override;

 signals:
  void shutdownRequested(int signal_number);

 private:
  void ReadSignal();

  int fd_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace tramolin
