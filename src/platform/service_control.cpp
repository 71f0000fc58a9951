#include "platform/service_control.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <system_error>
#include <vector>

#include "platform/processes.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

constexpr std::string_view kUnitSuffix = ".service";
constexpr std::size_t kMaxUnitNameLength = 255;

std::string UnitName(std::string_view name) { return Concat({name, kUnitSuffix}); }

bool IsUnitNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' ||
         c == '-' || c == '_' || c == '.' || c == '\\';
}

void WriteUnitFile(const std::filesystem::path& file, const std::string& text) {
  std::ofstream unit(file, std::ios::binary | std::ios::trunc);
  unit << text;
  unit.close();
  if (!unit) {
    throw std::system_error(errno != 0 ? errno : EIO, std::generic_category(),
                            Concat({"cannot write ", file.native()}));
  }
}

// "<command line> failed (exit status N): <what it wrote>".
std::string CommandFailure(const std::vector<std::string>& argv, const CommandOutput& output) {
  std::string text;
  for (const std::string& arg : argv) text += Concat({text.empty() ? "" : " ", arg});
  text += Concat({" failed (exit status ", std::to_string(output.status), ")"});
  const std::string_view message = Trim(output.text);
  if (!message.empty()) text += Concat({": ", message});
  return text;
}

}  // namespace

bool IsValidServiceName(std::string_view name) {
  return !name.empty() && name.size() + kUnitSuffix.size() <= kMaxUnitNameLength &&
         name.front() != '-' && name.front() != '.' && name.find("..") == std::string_view::npos &&
         std::all_of(name.begin(), name.end(), IsUnitNameCharacter);
}

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
  return IsValidServiceName(name) && RunDetached({systemctl_, "stop", UnitName(name)});
}

bool ServiceControl::StartService(std::string_view name) const {
  return IsValidServiceName(name) && RunDetached({systemctl_, "start", UnitName(name)});
}

bool ServiceControl::IsInstalled(std::string_view name) const {
  std::error_code ignored;
  return IsValidServiceName(name) && std::filesystem::is_regular_file(UnitFile(name), ignored);
}

void ServiceControl::InstallUnit(std::string_view name, std::string_view app_dir,
                                 std::string_view exe_name, bool debug) const {
  if (!IsValidServiceName(name)) throw std::invalid_argument("invalid service name");
  WriteUnitFile(UnitFile(name), ServiceUnitText(name, app_dir, exe_name, debug));
  RunSystemctlChecked({"daemon-reload"});
  RunSystemctlChecked({"enable", UnitName(name)});
}

void ServiceControl::RunSystemctlChecked(std::initializer_list<std::string> arguments) const {
  std::vector<std::string> argv{systemctl_};
  argv.insert(argv.end(), arguments);
  const CommandOutput output = RunAndCapture(argv);
  if (output.status != 0) throw ServiceCommandError(CommandFailure(argv, output));
}

void ServiceControl::RemoveUnit(std::string_view name) const {
  if (!IsInstalled(name)) return;  // also refuses a name that is not valid
  RunAndWait({systemctl_, "disable", UnitName(name)});
  std::error_code ignored;
  std::filesystem::remove(UnitFile(name), ignored);
  RunAndWait({systemctl_, "daemon-reload"});
}

}  // namespace tramolin
