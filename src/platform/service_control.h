// The replicator as a systemd service: the unit file "<name>.service" and the systemctl commands
// that stop, start, enable and disable it. Unit directory and systemctl command are settable.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tramolin {

// True for a name systemd takes as a unit name stem and that stays one file inside the unit folder
// and one argument on a command line: only ASCII letters, digits, ":", "-", "_", "." and "\",
// not starting with "-" or ".", without "..", at most 255 characters together with ".service".
bool IsValidServiceName(std::string_view name);

// A systemctl command that failed; what() names the command, its exit status and the start of
// what it wrote.
class ServiceCommandError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ServiceControl {
 public:
  explicit ServiceControl(std::filesystem::path unit_directory = "/etc/systemd/system",
                          std::string systemctl = "systemctl");

  // "<systemctl> stop|start <name>.service", started without waiting. False when the command
  // could not be started or the name is not valid.
  bool StopService(std::string_view name) const;
  bool StartService(std::string_view name) const;

  // False for a name that is not valid.
  bool IsInstalled(std::string_view name) const;
  // Writes the unit (ExecStart="<app_dir><exe_name>" -s [-d], WorkingDirectory=<app_dir>), then
  // reloads systemd and enables the unit, waiting for systemctl each time. Throws
  // std::invalid_argument for a name that is not valid (nothing is written or run),
  // std::system_error when the unit cannot be written, ServiceCommandError when systemctl fails.
  void InstallUnit(std::string_view name, std::string_view app_dir, std::string_view exe_name,
                   bool debug) const;
  // Disables the unit (waiting for systemctl) and removes its file; a missing unit is no error.
  // A name that is not valid is ignored.
  void RemoveUnit(std::string_view name) const;

  std::filesystem::path UnitFile(std::string_view name) const;

 private:
  void RunSystemctlChecked(std::initializer_list<std::string> arguments) const;

  std::filesystem::path unit_directory_;
  std::string systemctl_;
};

// The unit file's text.
std::string ServiceUnitText(std::string_view name, std::string_view app_dir,
                            std::string_view exe_name, bool debug);

}  // namespace tramolin
