#include "ui/service_setup.h"

#include <QCoreApplication>
#include <exception>
#include <optional>

#include "platform/service_control.h"
#include "util/cp1250.h"
#include "util/log_level.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

std::string InstallationProblem() {
  return std::string(
      "Wystąpił problem w czasie instalacji usługi Tramolin.\r\n"
      "Uruchomienie tramolina jako usługi nie jest możliwe."_cp);
}

std::string ParametrisationProblem(std::string_view error) {
  return Concat(
      {"Wystąpił problem w czasie parametryzacji usługi Tramolin.\r\n"
       "Uruchomienie tramolina jako usługi nie jest możliwe.\r\n"_cp,
       error});
}

}  // namespace

bool CheckServiceName(std::string_view name) { return IsValidServiceName(Trim(name)); }

ServiceSetup::ServiceSetup(ServiceControl& control, std::string app_dir, std::string executable,
                           Log log)
    : control_(control),
      app_dir_(std::move(app_dir)),
      executable_(std::move(executable)),
      log_(std::move(log)) {}

void ServiceSetup::Show(std::string_view text) {
  if (status_) status_(text);
  QCoreApplication::processEvents();
}

bool ServiceSetup::ApplyServiceStep(const ServiceStepInput& input) {
  bool ok = true;
  if (input.option_enabled && input.option_selected) {
    Show(Concat({"Zatrzymywanie usługi "_cp, input.old_name, " ..."}));
    control_.StopService(input.old_name);
    if (input.new_name != input.old_name) {
      Show(Concat({"Deinstalacja usługi "_cp, input.old_name, " ..."}));
      control_.StopService(input.old_name);
      control_.RemoveUnit(input.old_name);
    }
    ok = InstallOrRewrite(input.new_name, input);
  } else if (input.option_enabled && control_.IsInstalled(input.old_name)) {
    Show(Concat({"Deinstalacja usługi "_cp, input.old_name, " ..."}));
    control_.StopService(input.old_name);
    control_.RemoveUnit(input.old_name);
  }
  Show("");
  return ok;
}

// A unit that is missing is installed; one that exists gets its command line written again, so
// that the debug switch follows the wizard. The unit file is the service's registration and its
// parameters at once: no unit afterwards is an installation problem (the system's reason follows
// on a line of its own); a unit left behind by a failure (written, but systemd refused it) is a
// parametrisation problem with the error's text.
bool ServiceSetup::InstallOrRewrite(const std::string& name, const ServiceStepInput& input) {
  const bool installed = control_.IsInstalled(name);
  Show(Concat({installed ? "Parametryzacja usługi "_cp : "Instalacja usługi "_cp, name, " ..."}));
  const std::optional<std::string> error = WriteUnit(name, input);
  if (!control_.IsInstalled(name)) {
    log_(InstallationProblem(), kLogSerious);
    if (error) log_(*error, kLogError);
    return false;
  }
  if (error) log_(ParametrisationProblem(*error), kLogSerious);
  return !error;
}

// The error's text (code page 1250) when the unit could not be written and enabled.
std::optional<std::string> ServiceSetup::WriteUnit(const std::string& name,
                                                   const ServiceStepInput& input) {
  try {
    control_.InstallUnit(name, {executable_, app_dir_, input.writable_folders, input.debug});
    return std::nullopt;
  } catch (const std::exception& error) {
    return Utf8ToCp1250(error.what());  // the system's and systemctl's messages are UTF-8
  }
}

void ServiceSetup::RemoveService(std::string_view name) {
  if (!CheckServiceName(name)) return;
  const std::string trimmed(Trim(name));
  Show(Concat({"Deinstalacja usługi "_cp, trimmed, " ..."}));
  control_.StopService(trimmed);
  control_.RemoveUnit(trimmed);
}

}  // namespace tramolin
