// The program's settings (TConfig) and run-time flags, filled from defaults, the command line and
// "Tramolin2.ini" beside the executable, and written back with the file's other lines kept.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/command_line.h"
#include "util/database_defaults.h"

namespace tramolin {

struct TConfig {
  std::string DBHost{kDefaultDatabaseServer};
  std::string DBPath;
  std::string DBFile;
  std::string DBUser{kAdminUser};                 // not stored
  std::string DBPassword{kDefaultAdminPassword};  // not stored
  int32_t DBPort = 3050;
  int32_t ServerPort = 17846;
  int32_t ClientPort = 17846;
  std::string ClientHost;
  int32_t ClientPort2 = 17846;
  std::string ClientHost2;
  int32_t DynDNSRemotePort = 17846;
  std::string DynDNSServer;
  std::string DynDNSRemoteAddr;  // read, never written
  std::string DynDNSRemoteHost;  // read, never written
  std::string AppDir;            // the executable's directory with a trailing "/"; not stored
  bool RunAsService = false;
  std::string ServiceName = "Tramolin2";
  bool Events = false;
  bool FullLog = false;
  int32_t Interwal = 0;         // minutes; 0 until read, at least 1 once read
  int32_t FirebirdVersion = 0;  // 3 = 2.5, 2 = 2.1, 1 = older; 0 until read
  bool SendNewDataFirst = false;
  std::string AutoNaZadanie;  // "hh:nn" or empty
  // Opt-in: the key every authentication must carry ([Server]), or the key this client sends
  // ([Klient]); empty for none.
  std::string ServerAccessKey;
  std::string ClientAccessKey;
  // Opt-in TLS on the replication link. A server with both files ([Server] TlsCertificate,
  // TlsKey, PEM) accepts TLS only; a client with [Klient] Tls=1 connects with TLS only, trusting
  // the certificate whose SHA-256 fingerprint is [Klient] TlsFingerprint (or, with none, one a
  // system authority vouches for under the configured host name).
  std::string ServerTlsCertificate;
  std::string ServerTlsKey;
  // [Server] Workers: the server's database jobs at once, the rest queue; 0 (the default): one
  // per processor core.
  int32_t ServerWorkers = 0;
  bool ClientTls = false;
  std::string ClientTlsFingerprint;
  // The installation as the vendor's services know it ([Licencja]): the number sent to the address
  // service and the update check, the name sent to the update check, and the update check's
  // address (empty: no report is sent). Read, never written.
  std::string CustomerNumber;
  std::string CustomerName;
  std::string UpdateCheckUrl;
  // [Tramolin] AttachmentFolders, folders separated by ";": the only folders whose files an
  // attachment request from a peer may make this site read. Empty (the default): none.
  std::vector<std::string> AttachmentFolders;
};

struct RunFlags {
  bool RunningAsService = false;
  bool ServerMode = true;
  bool DebugMode = false;
  bool DesktopInteraction = false;
  bool OnDemand = false;
  bool TechnicianMode = false;
  std::vector<std::string> AllowList;  // addresses or host masks; empty accepts everyone
};

// The database server's version text, or nullopt on any failure (unreachable, refused, ...).
using FirebirdVersionProbe = std::function<std::optional<std::string>(const TConfig&)>;

// 3 for a version text containing "2.5.", 2 for one containing "2.1.", otherwise 1.
int FirebirdGenerationOf(std::string_view version_text);

inline constexpr std::string_view kConfigFileName = "Tramolin2.ini";
inline constexpr std::string_view kDebugMarkerFileName = "Tramolin2debug.txt";

class Configuration {
 public:
  // app_dir: the executable's directory; a trailing "/" is added when missing.
  explicit Configuration(std::string app_dir);

  void SetDefaultConfiguration();
  // Defaults, then the switches, then the file when it exists. A missing key keeps the current
  // value, a malformed number gives the key's default. The probe is asked for the server's
  // version; when it fails, the stored [DB] FirebirdVersion (default 1) is used.
  void LoadConfiguration(const CommandLine& command_line, const FirebirdVersionProbe& probe);
  // Writes every stored setting into the file, keeping its other lines. Throws std::system_error
  // when the file cannot be written.
  void SaveConfiguration() const;

  std::filesystem::path ConfigFile() const;
  bool ConfigFileExists() const;

  TConfig config;
  RunFlags flags;
  // The -h switch's value (0 when not a number); the shell passes it to SetHostWindow.
  std::optional<long long> host_window;

 private:
  void ReadFile(const FirebirdVersionProbe& probe);

  std::string app_dir_;
};

}  // namespace tramolin
