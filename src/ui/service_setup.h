// Installing, re-parametrising and removing the replicator's systemd service from the
// configuration wizard. The unit is named after the service; its command line is the executable
// with -s (and -d for debug logging); it may write only the program folder and the local
// database's folder.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tramolin {

class ServiceControl;

// True when the name, trimmed, is a name the service can have (IsValidServiceName): not empty, no
// blank, nothing that leads out of the unit folder or onto another command-line argument.
bool CheckServiceName(std::string_view name);

// What the service step needs from the wizard.
struct ServiceStepInput {
  bool option_enabled = true;                 // the service option can be chosen on this system
  bool option_selected = false;               // "run as a service" is chosen
  std::string new_name;                       // the service name field (trimmed)
  std::string old_name;                       // ServiceName when the wizard opened
  bool debug = false;                         // the debug box: the service runs with -d
  std::vector<std::string> writable_folders;  // besides the program folder: a local database's
};

class ServiceSetup {
 public:
  using Status = std::function<void(std::string_view text)>;  // "" clears it
  using Log = std::function<void(std::string_view message, int level)>;

  // app_dir (the program folder) ends with "/"; executable is the program file. `control` is not
  // owned.
  ServiceSetup(ServiceControl& control, std::string app_dir, std::string executable, Log log);

  // Shows what is being done; the wizard points it at its status bar.
  void SetStatus(Status status) { status_ = std::move(status); }

  // Installs (stopping and removing a renamed one first) or rewrites the service, or removes it
  // when the application option is chosen. Failures are logged at level 6 and give false: no unit
  // afterwards with the installation message (the reason follows at level 1), a unit that systemd
  // refused or that could not be rewritten with the parametrisation message and the error's
  // text. The status is cleared at the end.
  bool ApplyServiceStep(const ServiceStepInput& input);

  // Stops and removes the named service; does nothing for a name CheckServiceName refuses. The
  // status text stays.
  void RemoveService(std::string_view name);

 private:
  bool InstallOrRewrite(const std::string& name, const ServiceStepInput& input);
  std::optional<std::string> WriteUnit(const std::string& name, const ServiceStepInput& input);
  void Show(std::string_view text);

  ServiceControl& control_;
  std::string app_dir_;
  std::string executable_;
  Log log_;
  Status status_;
};

}  // namespace tramolin
