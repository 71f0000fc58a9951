#include "config/configuration.h"

#include <algorithm>
#include <charconv>

#include "util/fields.h"
#include "util/ini_file.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

long long HostWindowValue(std::string_view text) {
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() ? value : 0;
}

std::optional<std::string> AskProbe(const FirebirdVersionProbe& probe, const TConfig& config) {
  if (!probe) return std::nullopt;
  try {
    return probe(config);
  } catch (...) {  // the generation check never stops the start
    return std::nullopt;
  }
}

void ReadDatabase(const IniFile& ini, TConfig& c) {
  c.DBHost = ini.ReadString("DB", "DBHOST", c.DBHost);
  c.DBPath = ini.ReadString("DB", "DBPATH", c.DBPath);
  c.DBFile = ini.ReadString("DB", "DBFILE", c.DBFile);
  c.DBPort = ini.ReadInteger("DB", "DBPORT", c.DBPort);
}

constexpr char kFolderSeparator = ';';

// The folders of a list separated by ";", each without surrounding blanks; empty items dropped.
std::vector<std::string> FolderList(std::string_view text) {
  std::vector<std::string> folders;
  while (!text.empty()) {
    const std::string_view folder = Trim(NextField(text, kFolderSeparator));
    if (!folder.empty()) folders.emplace_back(folder);
  }
  return folders;
}

std::string FolderListText(const std::vector<std::string>& folders) {
  std::string text;
  for (const std::string& folder : folders) {
    if (!text.empty()) text += kFolderSeparator;
    text += folder;
  }
  return text;
}

void ReadTramolin(const IniFile& ini, TConfig& c, RunFlags& flags) {
  c.ServiceName = ini.ReadString("Tramolin", "ServiceName", c.ServiceName);
  const int32_t mode = ini.ReadInteger("Tramolin", "Mode", -1);
  flags.ServerMode = mode == -1 ? !flags.TechnicianMode : mode == 1;
  c.RunAsService = ini.ReadBool("Tramolin", "RunAsService", c.RunAsService);
  c.Events = ini.ReadBool("Tramolin", "Events", c.Events);
  c.FullLog = ini.ReadBool("Tramolin", "FullLog", c.FullLog);
  c.Interwal = std::max(1, ini.ReadInteger("Tramolin", "Interwal", 1));
  c.AttachmentFolders = FolderList(
      ini.ReadString("Tramolin", "AttachmentFolders", FolderListText(c.AttachmentFolders)));
}

void ReadServerAndClient(const IniFile& ini, TConfig& c, RunFlags& flags) {
  c.ServerPort = ini.ReadInteger("Server", "Port", c.ServerPort);
  flags.AllowList = ParseCommaText(ini.ReadString("Server", "Allow", ""));
  c.ServerAccessKey = ini.ReadString("Server", "AccessKey", c.ServerAccessKey);
  c.ClientPort = ini.ReadInteger("Klient", "Port", c.ClientPort);
  c.ClientHost = ini.ReadString("Klient", "Host", c.ClientHost);
  c.ClientPort2 = ini.ReadInteger("Klient", "Port2", c.ClientPort2);
  c.ClientHost2 = ini.ReadString("Klient", "Host2", c.ClientHost2);
  flags.OnDemand = ini.ReadBool("Klient", "OnDemand", flags.OnDemand);
  c.SendNewDataFirst = ini.ReadBool("Klient", "SendNewDataFirst", c.SendNewDataFirst);
  c.AutoNaZadanie = ini.ReadString("Klient", "AutoNaZadanie", c.AutoNaZadanie);
  c.ClientAccessKey = ini.ReadString("Klient", "AccessKey", c.ClientAccessKey);
  c.ServerTlsCertificate = ini.ReadString("Server", "TlsCertificate", c.ServerTlsCertificate);
  c.ServerTlsKey = ini.ReadString("Server", "TlsKey", c.ServerTlsKey);
  c.ServerWorkers = std::clamp(ini.ReadInteger("Server", "Workers", c.ServerWorkers), 0, 256);
  c.ClientTls = ini.ReadBool("Klient", "Tls", c.ClientTls);
  c.ClientTlsFingerprint = ini.ReadString("Klient", "TlsFingerprint", c.ClientTlsFingerprint);
}

// An opt-in setting: written while it has a value, removed when it has none.
void WriteOptional(IniFile& ini, std::string_view section, std::string_view key,
                   std::string_view value) {
  if (value.empty()) {
    ini.DeleteKey(section, key);
  } else {
    ini.WriteString(section, key, value);
  }
}

void ReadDynDns(const IniFile& ini, TConfig& c) {
  c.DynDNSRemotePort = ini.ReadInteger("DynDNS", "RemotePort", c.DynDNSRemotePort);
  c.DynDNSServer = ini.ReadString("DynDNS", "Server", c.DynDNSServer);
  c.DynDNSRemoteAddr = ini.ReadString("DynDNS", "REMOTE_ADDR", c.DynDNSRemoteAddr);
  c.DynDNSRemoteHost = ini.ReadString("DynDNS", "REMOTE_HOST", c.DynDNSRemoteHost);
}

void ReadLicence(const IniFile& ini, TConfig& c) {
  c.CustomerNumber = ini.ReadString("Licencja", "CustomerNumber", c.CustomerNumber);
  c.CustomerName = ini.ReadString("Licencja", "CustomerName", c.CustomerName);
  c.UpdateCheckUrl = ini.ReadString("Licencja", "UpdateCheckUrl", c.UpdateCheckUrl);
}

}  // namespace

int FirebirdGenerationOf(std::string_view version_text) {
  if (version_text.find("2.5.") != std::string_view::npos) return 3;
  if (version_text.find("2.1.") != std::string_view::npos) return 2;
  return 1;
}

Configuration::Configuration(std::string app_dir) : app_dir_(std::move(app_dir)) {
  if (!app_dir_.ends_with('/')) app_dir_ += '/';
  SetDefaultConfiguration();
}

std::filesystem::path Configuration::ConfigFile() const {
  return std::filesystem::path(app_dir_) / kConfigFileName;
}

bool Configuration::ConfigFileExists() const {
  std::error_code ignored;
  return std::filesystem::exists(ConfigFile(), ignored);
}

void Configuration::SetDefaultConfiguration() {
  config = TConfig{};
  config.AppDir = app_dir_;
  flags = RunFlags{};
  host_window.reset();
}

void Configuration::LoadConfiguration(const CommandLine& command_line,
                                      const FirebirdVersionProbe& probe) {
  SetDefaultConfiguration();
  std::error_code ignored;
  flags.RunningAsService = command_line.HasSwitch("s");
  flags.DebugMode =
      command_line.HasSwitch("d") ||
      std::filesystem::exists(std::filesystem::path(app_dir_) / kDebugMarkerFileName, ignored);
  flags.DesktopInteraction = command_line.HasSwitch("v");
  flags.TechnicianMode = command_line.HasSwitch("serwis");
  if (command_line.HasSwitch("h")) host_window = HostWindowValue(command_line.SwitchValue("h"));
  if (flags.TechnicianMode) flags.ServerMode = false;
  if (ConfigFileExists()) ReadFile(probe);
  flags.TechnicianMode = !flags.ServerMode && command_line.HasSwitch("serwis");
}

void Configuration::ReadFile(const FirebirdVersionProbe& probe) {
  const IniFile ini(ConfigFile());
  ReadDatabase(ini, config);
  const std::optional<std::string> version = AskProbe(probe, config);
  config.FirebirdVersion =
      version ? FirebirdGenerationOf(*version) : ini.ReadInteger("DB", "FirebirdVersion", 1);
  ReadTramolin(ini, config, flags);
  ReadServerAndClient(ini, config, flags);
  ReadDynDns(ini, config);
  ReadLicence(ini, config);
}

void Configuration::SaveConfiguration() const {
  IniFile ini(ConfigFile());
  const TConfig& c = config;
  ini.WriteString("DB", "DBHOST", c.DBHost);
  ini.WriteString("DB", "DBPATH", c.DBPath);
  ini.WriteString("DB", "DBFILE", c.DBFile);
  ini.WriteInteger("DB", "DBPORT", c.DBPort);
  ini.WriteInteger("DB", "FirebirdVersion", c.FirebirdVersion);
  ini.WriteInteger("Tramolin", "Mode", flags.ServerMode ? 1 : 0);
  ini.WriteBool("Tramolin", "RunAsService", c.RunAsService);
  ini.WriteBool("Tramolin", "Events", c.Events);
  ini.WriteBool("Tramolin", "FullLog", c.FullLog);
  ini.WriteInteger("Tramolin", "Interwal", c.Interwal);
  ini.WriteInteger("Server", "Port", c.ServerPort);
  ini.WriteString("Server", "Allow", CommaText(flags.AllowList));
  ini.WriteString("Tramolin", "ServiceName", c.ServiceName);
  ini.WriteInteger("Klient", "Port", c.ClientPort);
  ini.WriteString("Klient", "Host", c.ClientHost);
  ini.WriteInteger("Klient", "Port2", c.ClientPort2);
  ini.WriteString("Klient", "Host2", c.ClientHost2);
  ini.WriteBool("Klient", "OnDemand", flags.OnDemand);
  ini.WriteBool("Klient", "SendNewDataFirst", c.SendNewDataFirst);
  ini.WriteString("Klient", "AutoNaZadanie", c.AutoNaZadanie);
  WriteOptional(ini, "Server", "AccessKey", c.ServerAccessKey);
  WriteOptional(ini, "Klient", "AccessKey", c.ClientAccessKey);
  WriteOptional(ini, "Server", "TlsCertificate", c.ServerTlsCertificate);
  WriteOptional(ini, "Server", "TlsKey", c.ServerTlsKey);
  WriteOptional(ini, "Server", "Workers",
                c.ServerWorkers > 0 ? std::to_string(c.ServerWorkers) : std::string());
  WriteOptional(ini, "Klient", "Tls", c.ClientTls ? "1" : "");
  WriteOptional(ini, "Klient", "TlsFingerprint", c.ClientTlsFingerprint);
  WriteOptional(ini, "Tramolin", "AttachmentFolders", FolderListText(c.AttachmentFolders));
  ini.WriteString("DynDNS", "Server", c.DynDNSServer);
  if (flags.ServerMode) ini.WriteInteger("DynDNS", "RemotePort", c.DynDNSRemotePort);
  ini.Save();
}

}  // namespace tramolin
