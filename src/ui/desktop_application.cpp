#include "ui/desktop_application.h"

#include <cstdlib>

namespace tramolin {
namespace {

std::string_view Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

bool DesktopAvailable(std::string_view qpa_platform, std::string_view display,
                      std::string_view wayland_display) {
  // "offscreen:size=..." and the like: the platform's name ends at the first colon.
  const std::string_view platform = qpa_platform.substr(0, qpa_platform.find(':'));
  if (!platform.empty()) return platform != "offscreen" && platform != "minimal";
  return !display.empty() || !wayland_display.empty();
}

bool DesktopAvailable() {
  return DesktopAvailable(Environment("QT_QPA_PLATFORM"), Environment("DISPLAY"),
                          Environment("WAYLAND_DISPLAY"));
}

}  // namespace tramolin
