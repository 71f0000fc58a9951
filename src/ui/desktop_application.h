// The application object of a process with a window (QApplication with the program's handling
// of escaped exceptions), and whether this process can show a window at all.
#pragma once

#include <QApplication>
#include <string_view>

#include "shell/logging_application.h"

namespace tramolin {

using LoggingWidgetApplication = BasicLoggingApplication<QApplication>;

// Whether windows can be shown: a Qt platform named in QT_QPA_PLATFORM that draws on a screen
// (not "offscreen" or "minimal"), or with none named an X11 or Wayland display. Arguments are the
// environment's values, "" when unset.
bool DesktopAvailable(std::string_view qpa_platform, std::string_view display,
                      std::string_view wayland_display);

// The same from this process's environment.
bool DesktopAvailable();

}  // namespace tramolin
