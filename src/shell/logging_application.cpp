#include "shell/logging_application.h"

#include <stdexcept>
#include <string>

#include "shell/logger.h"
#include "util/cp1250.h"

namespace tramolin {

bool ExceptionLogging::DeliverLogged(QObject* receiver,
                                     const std::function<bool()>& deliver) const {
  try {
    return deliver();
  } catch (const std::exception& error) {
    if (logger_ == nullptr) return false;
    const QString name = receiver->objectName().isEmpty()
                             ? QString::fromLatin1(receiver->metaObject()->className())
                             : receiver->objectName();
    logger_->LogException(name.toStdString(), error);
  } catch (...) {
    if (logger_ != nullptr)
      logger_->LogException("?", std::runtime_error(std::string("nieznany błąd"_cp)));
  }
  return false;
}

}  // namespace tramolin
