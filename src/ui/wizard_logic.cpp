#include "ui/wizard_logic.h"

#include <QCoreApplication>
#include <system_error>

#include "engine/pass_dm.h"
#include "platform/autostart.h"
#include "ui/wizard_rules.h"
#include "util/cp1250.h"
#include "util/database_defaults.h"
#include "util/ini_file.h"
#include "util/log_level.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

constexpr std::string_view kNetworkProblem = "Nieprawidłowa konfiguracja sieciowa"_cp;

std::string Trimmed(const std::string& text) { return std::string(Trim(text)); }

std::string InvalidValue(std::string_view field, std::string_view error) {
  return Concat({"Nieprawidłowa wartość w polu \""_cp, field, "\"\r\n\"", error, "\""});
}

// The database's folder when the embedded engine opens it (no host): the service's own process
// writes it then. A server's database is written by the server. The form's text is code page 1250,
// the unit's paths are those of the disk.
std::vector<std::string> LocalDatabaseFolders(const WizardForm& form) {
  if (!form.host.empty() || form.directory.empty()) return {};
  return {Cp1250ToUtf8(form.directory)};
}

}  // namespace

WizardLogic::WizardLogic(WizardEnvironment environment) : env_(std::move(environment)) {}

bool WizardLogic::Fail(std::string_view message, WizardField field, WizardField& focus) {
  env_.log(message, kLogErrorBox);
  focus = field;
  return false;
}

WizardForm WizardLogic::LoadWizardFields() {
  const TConfig& config = *env_.config;
  const RunFlags& flags = *env_.flags;
  WizardForm form;
  form.host = config.DBHost;
  form.directory = config.DBPath;
  form.file = config.DBFile;
  form.server_port = std::to_string(config.ServerPort);
  form.allow_list = CommaText(flags.AllowList);
  form.client_port = std::to_string(config.ClientPort);
  form.client_host = config.ClientHost;
  form.client_port2 = std::to_string(config.ClientPort2);
  form.client_host2 = config.ClientHost2;
  form.service_name = config.ServiceName;
  form.tls_certificate = config.ServerTlsCertificate;
  form.tls_key = config.ServerTlsKey;
  form.tls = config.ClientTls;
  form.tls_fingerprint = config.ClientTlsFingerprint;
  old_service_name_ = config.ServiceName;

  form.debug = flags.DebugMode;
  form.on_demand = flags.OnDemand;
  form.send_new_data_first = config.SendNewDataFirst;
  form.events = config.Events;
  form.full_log = config.FullLog;
  form.auto_hour = AutoHourSet(config.AutoNaZadanie);
  const std::string stored_hour = Trimmed(config.AutoNaZadanie);
  if (form.auto_hour && CheckAutoHour(stored_hour).result != AutoHourCheck::kConversionError) {
    form.auto_hour_time = stored_hour;
  }
  form.interval = ShownInterval(config.Interwal);

  form.service_option_enabled = true;  // systemd is this platform's service manager
  form.run_as_service = form.service_option_enabled && config.RunAsService;
  form.autostart_enabled = !form.run_as_service;
  form.autostart =
      !form.run_as_service && env_.autostart != nullptr && env_.autostart->IsAutostartEnabled();

  if (flags.ServerMode) {
    form.on_demand = false;
    form.auto_hour = false;
    form.send_new_data_first = false;
    form.auto_hour_time.clear();
  }
  form.firewall_enabled = false;  // no firewall objects to add an exception to here
  form.firewall = false;
  return form;
}

bool WizardLogic::ValidateDatabaseFields(WizardForm& form, WizardField& focus) {
  DatabaseFields fields{form.host, form.directory, form.file};
  const DatabaseFieldsCheck check = CheckDatabaseFields(fields);
  form.host = fields.host;
  form.directory = fields.directory;
  form.file = fields.file;
  if (check == DatabaseFieldsCheck::kDirectoryMissing) {
    return Fail("Brak danych w polu \"Katalog bazy danych\"", WizardField::kDirectory, focus);
  }
  return true;
}

void WizardLogic::TestConnection(WizardForm& form, WizardField& focus) {
  if (!ValidateDatabaseFields(form, focus)) return;
  TConfig& config = *env_.config;
  DatabaseSettings settings;
  settings.server = form.host;
  settings.directory = form.directory;
  settings.file = form.file;
  const std::string database = DatabasePath(form.host, form.directory, form.file);
  if (env_.pass_dm != nullptr &&
      env_.pass_dm->ReadPassword(form.host, DatabasePath("", form.directory, form.file))) {
    config.DBPassword = env_.pass_dm->Password();
  }
  settings.user = config.DBUser;
  settings.password = config.DBPassword;
  if (const std::optional<std::string> error = env_.test_database(settings)) {
    connection_tested_ = false;
    Fail(Concat({"Wystąpił błąd w czasie próby połączenia\r\n("_cp, database, ")\r\n\"", *error,
                 "\""}),
         WizardField::kNone, focus);
    return;
  }
  // A server without a services manager (or the embedded engine) tells no version: the
  // Firebird generation then stays at its lowest.
  server_version_ =
      env_.server_version
          ? env_.server_version(form.host, kAdminUser, config.DBPassword).value_or(std::string())
          : std::string();
  connection_tested_ = true;
  env_.log("Połączenie OK"_cp, kLogInfo);
  focus = WizardField::kOk;
}

bool WizardLogic::CheckNetwork(WizardForm& form, WizardField& focus) {
  const bool server_mode = env_.flags->ServerMode;
  if (server_mode && form.server_port.empty()) {
    return Fail(kNetworkProblem, WizardField::kServerPort, focus);
  }
  const std::filesystem::path log_dir = std::filesystem::path(env_.config->AppDir) / "Log";
  std::error_code error;
  std::filesystem::create_directories(log_dir, error);
  if (!std::filesystem::is_directory(log_dir, error)) {
    return Fail(Concat({"Nie można utworzyć katalogu: \""_cp, env_.config->AppDir,
                        "Log/\" ... sprawdź uprawnienia !"_cp}),
                WizardField::kNone, focus);
  }
  if (!server_mode && (form.client_port.empty() || form.client_host.empty())) {
    return Fail(kNetworkProblem, WizardField::kClientPort, focus);
  }
  if (!form.server_port.empty()) {
    if (const std::optional<std::string> bad = IntegerError(form.server_port)) {
      return Fail(InvalidValue("Port", *bad), WizardField::kServerPort, focus);
    }
  }
  if (!form.client_port.empty()) {
    if (const std::optional<std::string> bad = IntegerError(form.client_port)) {
      return Fail(InvalidValue("Port", *bad), WizardField::kClientPort, focus);
    }
  }
  return true;
}

bool WizardLogic::CheckAutoHourField(const WizardForm& form, WizardField& focus) {
  if (env_.flags->ServerMode || !form.auto_hour) return true;
  const AutoHourCheck check = CheckAutoHour(form.auto_hour_time);
  if (check.result == AutoHourCheck::kNotCanonical) {
    return Fail("Nieprawidłowa wartość w polu \"Czas\"."_cp, WizardField::kAutoHourTime, focus);
  }
  if (check.result == AutoHourCheck::kConversionError) {
    return Fail(InvalidValue("Czas", check.error), WizardField::kAutoHourTime, focus);
  }
  return true;
}

bool WizardLogic::CheckTls(WizardForm& form, WizardField& focus) {
  if (env_.flags->ServerMode) {
    if (form.tls_certificate.empty() != form.tls_key.empty()) {
      return Fail(
          "Podaj oba pliki TLS: certyfikat i klucz albo żaden."_cp,
          form.tls_certificate.empty() ? WizardField::kTlsCertificate : WizardField::kTlsKey,
          focus);
    }
    return true;
  }
  // Without TLS the fingerprint's field is disabled: whatever it holds is kept, not judged.
  if (!form.tls || form.tls_fingerprint.empty()) return true;
  const std::optional<std::string> fingerprint = NormalisedFingerprint(form.tls_fingerprint);
  if (!fingerprint) {
    return Fail("Odcisk SHA-256 musi mieć 32 bajty zapisane szesnastkowo."_cp,
                WizardField::kTlsFingerprint, focus);
  }
  form.tls_fingerprint = *fingerprint;
  return true;
}

bool WizardLogic::ApplyWizard(WizardForm& form, WizardField& focus) {
  focus = WizardField::kNone;
  form.server_port = Trimmed(form.server_port);
  form.allow_list = WithoutBlanks(Trimmed(form.allow_list));
  form.client_port = Trimmed(form.client_port);
  form.client_host = Trimmed(form.client_host);
  form.client_port2 = Trimmed(form.client_port2);
  form.client_host2 = Trimmed(form.client_host2);
  form.service_name = Trimmed(form.service_name);
  form.tls_certificate = Trimmed(form.tls_certificate);
  form.tls_key = Trimmed(form.tls_key);
  form.tls_fingerprint = Trimmed(form.tls_fingerprint);
  QCoreApplication::processEvents();

  if (!env_.flags->TechnicianMode) {
    if (!ValidateDatabaseFields(form, focus)) return false;
    if (!connection_tested_) {
      return Fail("Nie wykonano testu połączenia z bazą danych. Proszę wykonać test."_cp,
                  WizardField::kTestButton, focus);
    }
  }
  if (!CheckNetwork(form, focus)) return false;
  const bool service = form.service_option_enabled && form.run_as_service;
  if (service && !CheckServiceName(form.service_name)) {
    return Fail("Podano niepoprawdna nazwę usługi"_cp, WizardField::kServiceName, focus);
  }
  if (!CheckAutoHourField(form, focus)) return false;
  if (!CheckTls(form, focus)) return false;
  // The firewall box is never enabled on this platform: there is no exception to add.

  if (env_.services != nullptr) {
    ServiceStepInput input;
    input.option_enabled = form.service_option_enabled;
    input.option_selected = form.run_as_service;
    input.new_name = form.service_name;
    input.old_name = old_service_name_;
    input.debug = form.debug;
    input.writable_folders = LocalDatabaseFolders(form);
    if (!env_.services->ApplyServiceStep(input)) return false;
  }
  if (env_.autostart != nullptr) env_.autostart->SetAutostart(form.autostart, env_.executable);
  Store(form);
  return true;
}

void WizardLogic::Store(const WizardForm& form) {
  TConfig& config = *env_.config;
  RunFlags& flags = *env_.flags;
  config.DBHost = StoredHost(Trimmed(form.host));
  const std::string directory = Trimmed(form.directory);
  const std::string file = Trimmed(form.file);
  config.DBPath =
      !directory.empty() && !file.empty() ? NormalisedDirectory(directory) : form.directory;
  config.DBFile = form.file;
  if (flags.ServerMode) {
    config.ServerPort = PortOrDefault(form.server_port);
    flags.AllowList = ParseCommaText(form.allow_list);
    config.ServerTlsCertificate = form.tls_certificate;
    config.ServerTlsKey = form.tls_key;
  } else {
    config.ClientPort = PortOrDefault(form.client_port);
    config.ClientHost = form.client_host;
    config.ClientPort2 = PortOrDefault(form.client_port2);
    config.ClientHost2 = form.client_host2;
    config.ClientTls = form.tls;
    config.ClientTlsFingerprint = form.tls_fingerprint;
  }
  config.FirebirdVersion = FirebirdGenerationOf(server_version_);
  config.ServiceName = form.service_name;
  config.RunAsService = form.service_option_enabled && form.run_as_service;
  flags.DebugMode = form.debug;
  flags.OnDemand = form.on_demand;
  config.SendNewDataFirst = form.send_new_data_first;
  config.Events = form.events;
  config.AutoNaZadanie = form.auto_hour ? form.auto_hour_time : std::string();
  config.FullLog = form.full_log;
  config.Interwal = std::max(form.interval, kMinInterval);
}

}  // namespace tramolin
