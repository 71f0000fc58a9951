// The replicator as a systemd service: the unit file "<name>.service" and the systemctl commands
// that stop, start, enable and disable it. Unit directory and systemctl command are settable.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tramolin {

class ServiceControl {
 public:
  explicit ServiceControl(std::filesystem::path unit_directory = "/etc/systemd/system",
                          std::string systemctl = "systemctl");

  // "<systemctl> stop|start <name>.service", started without waiting. False when the command
  // could not be started.
  bool StopService(std::string_view name) const;
  bool StartService(std::string_view name) const;

  bool IsInstalled(std::string_view name) const;
  // Writes the unit (ExecStart="<app_dir><exe_name>" -s [-d], WorkingDirectory=<app_dir>) and
  // enables it, waiting for systemctl. Throws std::system_error when the unit cannot be written.
  void InstallUnit(std::string_view name, std::string_view app_dir, std::string_view exe_name,
                   bool debug) const;
  // Disables the unit (waiting for systemctl) and removes its file; a missing unit is no error.
  void RemoveUnit(std::string_view name) const;

  std::filesystem::path UnitFile(std::string_view name) const;

 private:
  std::filesystem::path unit_directory_;
  std::string systemctl_;
};

// The unit file's text.
std::string ServiceUnitText(std::string_view name, std::string_view app_dir,
                            std::string_view exe_name, bool debug);

}  // namespace tramolin
