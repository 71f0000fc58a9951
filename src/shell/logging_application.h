// The application object: an exception that escapes any event handler is logged and the process
// goes on. One template over Qt's application classes, so a process without a display uses
// QCoreApplication and a desktop process QApplication (the desktop layer instantiates it) with
// the same handling.
#pragma once

#include <QCoreApplication>
#include <functional>

namespace tramolin {

class Logger;

// The handling shared by every application class.
class ExceptionLogging {
 public:
  // Not owned; nullptr until the logger exists.
  void SetLogger(Logger* logger) { logger_ = logger; }

 protected:
  // Runs `deliver` (the base class's notify); an exception it throws is logged with the
  // receiver's name and the event counts as not handled.
  bool DeliverLogged(QObject* receiver, const std::function<bool()>& deliver) const;

 private:
  Logger* logger_ = nullptr;
};

template <class QtApplication>
class BasicLoggingApplication : public QtApplication, public ExceptionLogging {
 public:
  BasicLoggingApplication(int& argc, char** argv) : QtApplication(argc, argv) {}

  bool notify(QObject* receiver, QEvent* event) override {
    return DeliverLogged(receiver, [&] { return QtApplication::notify(receiver, event); });
  }
};

using LoggingApplication = BasicLoggingApplication<QCoreApplication>;

}  // namespace tramolin
