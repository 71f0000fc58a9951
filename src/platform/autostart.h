// Starting the program with the user's desktop session: an XDG autostart entry
// "<dir>/Tramolin2.desktop" whose command is the executable in double quotes followed by -min.
#pragma once

#include <filesystem>
#include <string>

namespace tramolin {

// $XDG_CONFIG_HOME (or ~/.config) + "/autostart".
std::filesystem::path DefaultAutostartDirectory();

class Autostart {
 public:
  explicit Autostart(std::filesystem::path directory = DefaultAutostartDirectory());

  // Writes the entry for exe_path, or removes it. False when that failed.
  bool SetAutostart(bool enabled, const std::filesystem::path& exe_path) const;
  bool IsAutostartEnabled() const;
  std::filesystem::path EntryFile() const { return directory_ / "Tramolin2.desktop"; }

 private:
  std::filesystem::path directory_;
};

// The entry's Exec value: the path quoted as desktop entries require, then " -min".
std::string AutostartCommand(const std::filesystem::path& exe_path);

}  // namespace tramolin
