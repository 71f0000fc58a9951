#include "platform/service_control.h"

#include <pwd.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <fstream>
#include <system_error>
#include <vector>

#include "platform/processes.h"
#include "platform/system_info.h"
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

// A unit's settings, written in the unit file's syntax (specifiers such as %i allowed).
struct UnitSettings {
  std::string description;            // in brackets after the product's name
  std::string command;                // ExecStart=
  std::string folder;                 // the program folder, ending with "/"
  std::string account;                // User= and Group=; "" = root
  std::string state_directory;        // StateDirectory= (below /var/lib); "" = none
  std::vector<std::string> writable;  // ReadWritePaths=, each quoted
};

// A value taken as it is: "%" would start a specifier.
std::string UnitLiteral(std::string_view text) {
  std::string literal;
  for (const char c : text) {
    literal += c;
    if (c == '%') literal += '%';
  }
  return literal;
}

std::string Quoted(std::string_view text) { return Concat({"\"", text, "\""}); }

std::string JoinedBySpaces(const std::vector<std::string>& words) {
  std::string joined;
  for (const std::string& word : words) joined += Concat({joined.empty() ? "" : " ", word});
  return joined;
}

// The process sees only the program folder and the folders it must write as writable, its own
// /tmp, and can never gain privileges.
std::string HardeningLines(const UnitSettings& unit) {
  std::string text;
  if (!unit.state_directory.empty()) {
    text += Concat({"StateDirectory=", unit.state_directory, "\nStateDirectoryMode=0750\n"});
  }
  text += Concat({"ReadWritePaths=", JoinedBySpaces(unit.writable), "\n"});
  text += "ProtectSystem=strict\nPrivateTmp=yes\nNoNewPrivileges=yes\n";
  return text;
}

std::string UnitText(const UnitSettings& unit) {
  std::string text =
      Concat({"[Unit]\nDescription=Tramolin 2 replication (", unit.description, ")\n"});
  text += "After=network-online.target\nWants=network-online.target\n\n";
  text += "[Service]\nType=simple\n";
  if (!unit.account.empty()) {
    text += Concat({"User=", unit.account, "\nGroup=", unit.account, "\n"});
  }
  text += Concat({"Environment=\"", kProgramFolderVariable, "=", unit.folder, "\"\n"});
  text += Concat({"ExecStart=", unit.command, "\n"});
  text += Concat({"WorkingDirectory=", unit.folder, "\n"});
  text += HardeningLines(unit);
  text += "Restart=on-failure\nRestartSec=10\nKillSignal=SIGTERM\n\n";
  text += "[Install]\nWantedBy=multi-user.target\n";
  return text;
}

}  // namespace

bool IsValidServiceName(std::string_view name) {
  return !name.empty() && name.size() + kUnitSuffix.size() <= kMaxUnitNameLength &&
         name.front() != '-' && name.front() != '.' && name.find("..") == std::string_view::npos &&
         std::all_of(name.begin(), name.end(), IsUnitNameCharacter);
}

std::string ServiceUnitText(std::string_view name, const ServiceProgram& program,
                            std::string_view account) {
  UnitSettings unit;
  unit.description = name;
  unit.command =
      Concat({Quoted(UnitLiteral(program.executable)), program.debug ? " -s -d" : " -s"});
  unit.folder = UnitLiteral(program.folder);
  unit.account = account;
  unit.writable.push_back(Quoted(unit.folder));
  for (const std::string& folder : program.writable_folders) {
    unit.writable.push_back(Quoted(Concat({"-", UnitLiteral(folder)})));
  }
  return UnitText(unit);
}

std::string ServiceTemplateUnitText(std::string_view executable) {
  UnitSettings unit;
  unit.description = "%i";
  unit.command = Concat({Quoted(UnitLiteral(executable)), " -s"});
  unit.state_directory = Concat({kServiceAccount, "/%i"});
  unit.folder = Concat({"/var/lib/", unit.state_directory, "/"});
  unit.account = kServiceAccount;
  unit.writable.push_back(Quoted(unit.folder));
  return UnitText(unit);
}

std::string ServiceAccountFor(const std::filesystem::path& folder) {
  const std::string account(kServiceAccount);
  passwd entry{};
  passwd* found = nullptr;
  std::array<char, 4096> buffer{};
  if (getpwnam_r(account.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr) {
    return {};
  }
  struct stat status {};
  if (stat(folder.c_str(), &status) != 0 || status.st_uid != entry.pw_uid) return {};
  return account;
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

void ServiceControl::InstallUnit(std::string_view name, const ServiceProgram& program) const {
  if (!IsValidServiceName(name)) throw std::invalid_argument("invalid service name");
  WriteUnitFile(UnitFile(name), ServiceUnitText(name, program, ServiceAccountFor(program.folder)));
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
