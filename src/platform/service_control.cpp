#include "platform/service_control.h"

#include <cerrno>
#include <fstream>
#include <system_error>

#include "platform/processes.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

std::string UnitName(std::string_view name) { return std::string(name) + ".service"; }

}  // namespace

std::string ServiceUnitText(std::string_view name, std::string_view app_dir,
                            std::string_view exe_name, bool debug) {
  std::string text = Concat({"[Unit]\nDescription=Tramolin 2 replication (", name, ")\n"});
  text += "After=network-online.target\nWants=network-online.target\n\n";
  text += "[Service]\nType=simple\n";
  text += Concat({"ExecStart=\"", app_dir, exe_name, "\" -s"});
  text += debug ? " -d\n" : "\n";
  text += Concat({"WorkingDirectory=", app_dir, "\n"});
  text += "KillSignal=SIGTERM\n\n[Install]\nWantedBy=multi-user.target\n";
  return text;
}

ServiceControl::ServiceControl(std::filesystem::path unit_directory, std::string systemctl)
    : unit_directory_(std::move(unit_directory)), systemctl_(std::move(systemctl)) {}

std::filesystem::path ServiceControl::UnitFile(std::string_view name) const {
  return unit_directory_ / UnitName(name);
}

bool ServiceControl::StopService(std::string_view name) const {
  return RunDetached({systemctl_, "stop", UnitName(name)});
}

bool ServiceControl::StartService(std::string_view name) const {
  return RunDetached({systemctl_, "start", UnitName(name)});
}

bool ServiceControl::IsInstalled(std::string_view name) const {
  std::error_code ignored;
  return std::filesystem::is_regular_file(UnitFile(name), ignored);
}

void ServiceControl::InstallUnit(std::string_view name, std::string_view app_dir,
                                 std::string_view exe_name, bool debug) const {
  {
    std::ofstream unit(UnitFile(name), std::ios::binary | std::ios::trunc);
    unit << ServiceUnitText(name, app_dir, exe_name, debug);
    unit.close();
    if (!unit) {
      throw std::system_error(errno != 0 ? errno : EIO, std::generic_category(),
                              Concat({"cannot write ", UnitFile(name).native()}));
    }
  }
  RunAndWait({systemctl_, "enable", UnitName(name)});
}

void ServiceControl::RemoveUnit(std::string_view name) const {
  if (!IsInstalled(name)) return;
  RunAndWait({systemctl_, "disable", UnitName(name)});
  std::error_code ignored;
  std::filesystem::remove(UnitFile(name), ignored);
  RunAndWait({systemctl_, "daemon-reload"});
}

}  // namespace tramolin
