#include "ui/service_setup.h"

#include <QCoreApplication>
#include <exception>

#include "platform/service_control.h"
#include "util/cp1250.h"
#include "util/log_level.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

// The error's text follows on a line of its own when there is one.
std::string InstallationProblem(std::string_view error = {}) {
  return Concat(
      {"Wystąpił problem w czasie instalacji usługi Tramolin.\r\n"
       "Uruchomienie tramolina jako usługi nie jest możliwe."_cp,
       error.empty() ? "" : "\r\n", error});
}

std::string ParametrisationProblem(std::string_view error) {
  return Concat(
      {"Wystąpił problem w czasie parametryzacji usługi Tramolin.\r\n"
       "Uruchomienie tramolina jako usługi nie jest możliwe.\r\n"_cp,
       error});
}

}  // namespace

bool CheckServiceName(std::string_view name) { return IsValidServiceName(Trim(name)); }

ServiceSetup::ServiceSetup(ServiceControl& control, std::string app_dir, std::string exe_name,
                           Log log)
    : control_(control),
      app_dir_(std::move(app_dir)),
      exe_name_(std::move(exe_name)),
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
    ok = InstallOrRewrite(input.new_name, input.debug);
  } else if (input.option_enabled && control_.IsInstalled(input.old_name)) {
    Show(Concat({"Deinstalacja usługi "_cp, input.old_name, " ..."}));
    control_.StopService(input.old_name);
    control_.RemoveUnit(input.old_name);
  }
  Show("");
  return ok;
}

// A unit that is missing is installed; one that exists gets its command line written again, so
// that the debug switch follows the wizard.
bool ServiceSetup::InstallOrRewrite(const std::string& name, bool debug) {
  const bool installed = control_.IsInstalled(name);
  Show(Concat({installed ? "Parametryzacja usługi "_cp : "Instalacja usługi "_cp, name, " ..."}));
  try {
    control_.InstallUnit(name, app_dir_, exe_name_, debug);
  } catch (const std::exception& error) {
    // The system's and systemctl's messages are UTF-8; the log is code page 1250.
    const std::string reason = Utf8ToCp1250(error.what());
    log_(installed ? ParametrisationProblem(reason) : InstallationProblem(reason), kLogSerious);
    return false;
  }
  if (!control_.IsInstalled(name)) {
    log_(InstallationProblem(), kLogSerious);
    return false;
  }
  return true;
}

void ServiceSetup::RemoveService(std::string_view name) {
  if (!CheckServiceName(name)) return;
  const std::string trimmed(Trim(name));
  Show(Concat({"Deinstalacja usługi "_cp, trimmed, " ..."}));
  control_.StopService(trimmed);
  control_.RemoveUnit(trimmed);
}

}  // namespace tramolin
