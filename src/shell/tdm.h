// The main data module: configuration and run-time flags, logging, activity state, the timers,
// the local database's identity and the process-control operations (host window, start of
// work, closing). One per process; main() creates it, tests create one per mode.
#pragma once

#include <QObject>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "config/configuration.h"
#include "engine/dmdb.h"
#include "engine/engine_host.h"
#include "shell/instance_channel.h"
#include "shell/logger.h"
#include "util/command_line.h"

namespace tramolin {

class ServiceControl;

// The highest major version of the database structure the program works with.
inline constexpr int BAZA_VER_HIGH = 119;

// Timer intervals (ms) that more than one step of the program arms.
inline constexpr int kConnectIntervalMs = 250;
inline constexpr int kIdleDisconnectIntervalMs = 780'000;

// Pauses of the start-up; tests shorten them.
struct StartupTimings {
  int service_stop_wait_ms = 1500;
  int service_start_wait_ms = 1000;
  int service_second_look_ms = 30000;
  int database_retry_pause_ms = 3000;
  int database_attempts = 10;
};

// What main() hands to the main data module.
struct ShellServices {
  std::filesystem::path app_dir;  // the executable's directory
  std::string executable_name;    // file name without path
  CommandLine command_line;
  std::function<double()> clock;  // local time as a day count
  FirebirdVersionProbe firebird_probe;
  ServiceControl* service_control = nullptr;  // not owned
  StartupTimings timings;
};

class TDM : public QObject, public EngineHost {
  Q_OBJECT

 public:
  explicit TDM(ShellServices services, QObject* parent = nullptr);
  ~TDM() override;
  TDM(const TDM&) = delete;
  TDM& operator=(const TDM&) = delete;

  // The database module is created after this one and handed over; not owned. Its events,
  // notified on a database thread, arrive here on the main thread.
  void AttachDatabase(TDMDB* database);
  void DatabaseEventArrived(const std::string& name, unsigned count);

  // Configuration and flags.
  TConfig& Config() { return configuration_.config; }
  const TConfig& Config() const { return configuration_.config; }
  RunFlags& Flags() { return configuration_.flags; }
  const RunFlags& Flags() const { return configuration_.flags; }
  void SaveConfiguration() { configuration_.SaveConfiguration(); }
  const CommandLine& Command() const { return services_.command_line; }
  const ShellServices& Services() const { return services_; }
  Logger& Logs() { return logger_; }
  // The main window, or nullptr while none exists (a service without -v never has one). Not
  // owned.
  void SetWindow(WindowView* window);
  // Whether the process has a window: started without -s, or with -v.
  bool ShowsWindow() const;
  std::filesystem::path AppDir() const { return services_.app_dir; }

  // EngineHost.
  void Log(std::string_view message, int level, bool continue_line = false) override;
  void SetProgress(int slot, int percent) override;
  void SetErrorText(int slot, std::string_view text) override;
  std::string GetErrorText(int slot) const override;
  int GetSlotDBNR(int slot) const override;
  int GetSlotLastTransID(int slot) const override;
  bool Closing() const override { return closing_; }
  bool ServerMode() const override { return Flags().ServerMode; }
  int LocalCopyNumber() const override { return identity_.number; }
  bool EventsEnabled() const override { return Config().Events; }
  bool FullLog() const override { return Config().FullLog; }
  double Now() const override { return services_.clock(); }
  void DatabaseConnectStarted() override { tmrDBDisconnect.stop(); }

  // Activity state.
  void SetActivityState(int state);
  int ActivityState() const { return activity_state_; }
  std::optional<int> TrayIconIndex() const { return tray_icon_index_; }
  bool HeldBackFlag() const { return held_back_flag_; }
  void SetHeldBackFlag(bool held_back) { held_back_flag_ = held_back; }

  // Host window and other copies.
  void SetHostWindow(long long handle);
  void NotifyHostWindow();
  long long HostWindow() const { return host_window_; }
  void HandleWindowMessage(const WindowMessage& message);
  // Starts listening for later copies and the host application. False when another copy holds
  // the channel.
  bool OpenInstanceChannel();
  static QString InstanceChannelName(const std::string& executable_name);

  // Start of work and closing.
  bool StartWork();
  bool CheckDatabaseVersion() const;
  void CreatePidFile();
  void BeginClose();
  std::filesystem::path PidFile() const { return AppDir() / "pid"; }

  // Identity of the local database.
  int LocalDatabaseId() const { return identity_.id; }
  int LocalDatabaseType() const { return identity_.type; }
  const std::string& LocalDatabaseVersion() const { return identity_.version; }
  const std::string& ProgramVersion() const { return program_version_; }
  static std::string_view DatabaseTypeName(int type);

  // Timers (intervals in ms) and their handlers.
  QTimer tmrKReplikuj;
  QTimer tmrKConnect;
  QTimer tmrKTimeOut;
  QTimer tmrKAutoNaZadanie;
  QTimer tmrZombie;
  QTimer tmrDBDisconnect;
  QTimer tmrDBForceDisconnect;
  QTimer tmrREPINFO;
  QTimer tmrSetDynDns;
  void tmrDBDisconnectTimer();
  void tmrDBForceDisconnectTimer();
  void tmrREPINFOTimer();

 signals:
  void restoreRequested();
  void minimizeRequested();
  void applicationTitleChanged(QString title);
  void databaseEvent(QString name);

 private:
  void InitialiseTimers();
  void ConnectTimerHandlers();
  std::string WindowCaption() const;
  void LogWorkingMode();
  bool ConnectDatabaseWithRetries();
  void ReadDatabaseIdentity();
  void CheckIdentityRules() const;
  void OpenServerOrArmClient();
  void HandleStartFailure(const std::exception& error);

  ShellServices services_;
  Logger logger_;
  Configuration configuration_;
  TDMDB* database_ = nullptr;
  WindowView* window_ = nullptr;
  std::unique_ptr<InstanceChannel> instance_channel_;

  bool closing_ = false;
  long long host_window_ = 0;
  int activity_state_ = 0;
  bool held_back_flag_ = false;
  std::optional<int> tray_icon_index_;
  std::string local_error_text_;

  DatabaseIdentity identity_;
  std::string program_version_;
  double start_time_ = 0;
};

// Pure rule of the version check: the major part (before the first ".") is at most
// BAZA_VER_HIGH; text without a number or a "." counts as 0.
bool SupportedDatabaseVersion(std::string_view version);

}  // namespace tramolin
