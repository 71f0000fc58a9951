// The application object: an exception that escapes any event handler is logged and the process
// goes on.
#pragma once

#include <QCoreApplication>

namespace tramolin {

class Logger;

class LoggingApplication : public QCoreApplication {
 public:
  LoggingApplication(int& argc, char** argv) : QCoreApplication(argc, argv) {}

  // Not owned; nullptr until the logger exists.
  void SetLogger(Logger* logger) { logger_ = logger; }
  bool notify(QObject* receiver, QEvent* event) override;

 private:
  Logger* logger_ = nullptr;
};

}  // namespace tramolin
