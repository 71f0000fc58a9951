#include "platform/autostart.h"

#include <cstdlib>
#include <fstream>

namespace tramolin {

std::filesystem::path DefaultAutostartDirectory() {
  const char* config_home = std::getenv("XDG_CONFIG_HOME");
  if (config_home != nullptr && *config_home != '\0') {
    return std::filesystem::path(config_home) / "autostart";
  }
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home != nullptr ? home : "") / ".config" / "autostart";
}

std::string AutostartCommand(const std::filesystem::path& exe_path) {
  // Inside double quotes the command needs \ before " ` $ and \; the key file format then
  // doubles every backslash once more.
  std::string quoted = "\"";
  for (const char c : exe_path.string()) {
    if (c == '"' || c == '`' || c == '$') quoted += "\\\\";
    if (c == '\\') quoted += "\\\\\\";
    quoted += c;
  }
  return quoted + "\" -min";
}

Autostart::Autostart(std::filesystem::path directory) : directory_(std::move(directory)) {}

bool Autostart::SetAutostart(bool enabled, const std::filesystem::path& exe_path) const {
  std::error_code error;
  if (!enabled) {
    std::filesystem::remove(EntryFile(), error);
    return !error;
  }
  std::filesystem::create_directories(directory_, error);
  std::ofstream entry(EntryFile(), std::ios::binary | std::ios::trunc);
  entry << "[Desktop Entry]\nType=Application\nName=Tramolin2\n"
        << "Exec=" << AutostartCommand(exe_path) << "\n"
        << "X-GNOME-Autostart-enabled=true\n";
  entry.close();
  return static_cast<bool>(entry);
}

bool Autostart::IsAutostartEnabled() const {
  std::error_code ignored;
  return std::filesystem::is_regular_file(EntryFile(), ignored);
}

}  // namespace tramolin
