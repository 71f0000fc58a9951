// Text crossing between the program (code page 1250) and Qt's widgets (UTF-16).
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "util/cp1250.h"

namespace tramolin {

inline QString UiText(std::string_view cp1250) { return QString::fromUtf8(Cp1250ToUtf8(cp1250)); }

inline std::string ProgramText(const QString& text) {
  return Utf8ToCp1250(text.toUtf8().toStdString());
}

}  // namespace tramolin
