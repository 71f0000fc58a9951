// The replicator as a systemd service: the unit file "<name>.service" and the systemctl commands
// that stop, start, enable and disable it, and the packaged template unit. Both units come from
// one text, hardened the same way. Unit directory and systemctl command are settable.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tramolin {

// The system account the packaged service runs as; the package creates it, with a group of the
// same name.
inline constexpr std::string_view kServiceAccount = TRAMOLIN_SERVICE_ACCOUNT;

// What a unit installed for one program folder starts, in paths as they are on the disk.
struct ServiceProgram {
  std::string executable;                     // the program file
  std::string folder;                         // Tramolin2.ini and the logs; ends with "/"
  std::vector<std::string> writable_folders;  // written besides it (a local database's folder)
  bool debug = false;                         // the service runs with -d
};

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
  // Writes the unit (ServiceUnitText, running as ServiceAccountFor the folder), then reloads
  // systemd and enables the unit, waiting for systemctl each time. Throws std::invalid_argument
  // for a name that is not valid (nothing is written or run), std::system_error when the unit
  // cannot be written, ServiceCommandError when systemctl fails.
  void InstallUnit(std::string_view name, const ServiceProgram& program) const;
  // Disables the unit (waiting for systemctl) and removes its file; a missing unit is no error.
  // A name that is not valid is ignored.
  void RemoveUnit(std::string_view name) const;

  std::filesystem::path UnitFile(std::string_view name) const;

 private:
  void RunSystemctlChecked(std::initializer_list<std::string> arguments) const;

  std::filesystem::path unit_directory_;
  std::string systemctl_;
};

// kServiceAccount when that account exists and owns `folder`, so that a service running as it can
// write there; "" otherwise: the service then runs as root, as one installed by hand always did.
std::string ServiceAccountFor(const std::filesystem::path& folder);

// The unit file of service `name` for one folder: the program with -s [-d] in the folder as
// `account` ("" = root), allowed to write only the folder and the writable folders (a missing
// one is skipped), restarted after a failure.
std::string ServiceUnitText(std::string_view name, const ServiceProgram& program,
                            std::string_view account);

// The packaged template unit "<kServiceAccount>@.service": the same unit, run as kServiceAccount,
// for the folder /var/lib/<kServiceAccount>/<instance>/, which systemd makes for the account.
std::string ServiceTemplateUnitText(std::string_view executable);

}  // namespace tramolin
