#include "shell/shutdown_signals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace tramolin {
namespace {

sigset_t ShutdownSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

void ShutdownSignals::BlockInAllThreads() {
  const sigset_t set = ShutdownSignalSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

ShutdownSignals::ShutdownSignals(QObject* parent) : QObject(parent) {
  const sigset_t set = ShutdownSignalSet();
  fd_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
  if (fd_ < 0) return;
  notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &ShutdownSignals::ReadSignal);
}

ShutdownSignals::~ShutdownSignals() {
  notifier_.reset();
  if (fd_ >= 0) close(fd_);
}

void ShutdownSignals::ReadSignal() {
  signalfd_siginfo info{};
  while (read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    emit shutdownRequested(static_cast<int>(info.ssi_signo));
  }
}

}  // namespace tramolin
