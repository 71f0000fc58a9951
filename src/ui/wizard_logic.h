// What the configuration wizard does with its fields, without the widgets: filling them from the
// configuration, checking the database fields, the connection test, and applying the result
// (checks, firewall, service, autostart, then the stored settings), including the opt-in TLS of
// the replication link. The dialog copies its controls
// into a WizardForm, calls these, and moves the focus to the field a failure names.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "config/configuration.h"
#include "engine/database_settings.h"
#include "ui/service_setup.h"

namespace tramolin {

class Autostart;
class TPassDM;

// The controls a failure moves the focus to.
enum class WizardField {
  kNone,
  kHost,
  kDirectory,
  kFile,
  kTestButton,
  kServerPort,
  kClientHost,
  kClientPort,
  kServiceName,
  kAutoHourTime,
  kTlsCertificate,
  kTlsKey,
  kTlsFingerprint,
  kOk,
};

// The wizard's controls as values; texts in code page 1250.
struct WizardForm {
  std::string host;
  std::string directory;
  std::string file;
  std::string server_port;
  std::string allow_list;
  std::string client_host;
  std::string client_port;
  std::string client_host2;
  std::string client_port2;
  int interval = 1;
  bool service_option_enabled = true;
  bool run_as_service = false;  // the service option is selected
  std::string service_name;
  bool autostart = false;
  bool autostart_enabled = true;
  bool debug = false;
  bool on_demand = false;
  bool auto_hour = false;
  std::string auto_hour_time;  // "hh:nn"; the hour's first digit may be a blank
  bool full_log = false;
  bool firewall = false;
  bool firewall_enabled = false;
  bool send_new_data_first = false;
  bool events = false;
  bool start_after = true;  // "Uruchom tramolina po zakończeniu konfiguracji"
  // TLS: the server's PEM files (both or neither), the client's switch and pinned fingerprint
  // (empty: a certificate an authority issued for the host is trusted).
  std::string tls_certificate;
  std::string tls_key;
  bool tls = false;
  std::string tls_fingerprint;
};

// Opens the database once with the given settings and closes it: nullopt on success, else the
// error's message.
using DatabaseTest = std::function<std::optional<std::string>(const DatabaseSettings& settings)>;
// The services manager's version text of a server ("" = the local engine), or nullopt.
using ServerVersionQuery = std::function<std::optional<std::string>(
    std::string_view server, std::string_view user, std::string_view password)>;

// What the wizard reads and changes; none of it owned.
struct WizardEnvironment {
  TConfig* config = nullptr;
  RunFlags* flags = nullptr;
  std::function<void(std::string_view message, int level)> log;
  ServiceSetup* services = nullptr;
  const Autostart* autostart = nullptr;
  std::filesystem::path executable;  // the program file the autostart entry starts
  TPassDM* pass_dm = nullptr;
  DatabaseTest test_database;
  ServerVersionQuery server_version;
};

class WizardLogic {
 public:
  explicit WizardLogic(WizardEnvironment environment);

  // The controls' values from the configuration; remembers the service name it shows.
  WizardForm LoadWizardFields();

  // Trims the database fields in place and normalises the directory; logs what is missing.
  bool ValidateDatabaseFields(WizardForm& form, WizardField& focus);
  // Tests the database connection of the fields; logs the result (level 3 or 8).
  void TestConnection(WizardForm& form, WizardField& focus);
  // Every check, then the firewall, service and autostart steps, then stores the fields into
  // the configuration and the flags. False after a logged failure, with nothing stored.
  bool ApplyWizard(WizardForm& form, WizardField& focus);

  // Any change of the host, directory or file field.
  void DatabaseFieldChanged() { connection_tested_ = false; }
  bool ConnectionTested() const { return connection_tested_; }
  const std::string& OldServiceName() const { return old_service_name_; }

 private:
  bool Fail(std::string_view message, WizardField field, WizardField& focus);
  bool CheckNetwork(WizardForm& form, WizardField& focus);
  bool CheckAutoHourField(const WizardForm& form, WizardField& focus);
  bool CheckTls(WizardForm& form, WizardField& focus);
  void Store(const WizardForm& form);

  WizardEnvironment env_;
  bool connection_tested_ = false;
  std::string old_service_name_;
  std::string server_version_;  // the services manager's answer at the last successful test
};

}  // namespace tramolin
