// The main data module: configuration and run-time flags, logging, the host window and other
// copies, the database timers, the local database's identity, start of work and closing. It owns
// the server side and the client side of the program (each with its room and its activity state)
// and wires them to the data engine and to each other; their logic lives in them. One per
// process; main() creates it, tests create one per mode.
#pragma once

#include <QObject>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "config/configuration.h"
#include "engine/database_identity.h"
#include "engine/host_services.h"
#include "server/server_reports.h"
#include "shell/client_process.h"
#include "shell/database_timers.h"
#include "shell/instance_channel.h"
#include "shell/logger.h"
#include "shell/server_process.h"
#include "shell/start_of_work.h"
#include "util/command_line.h"
#include "worker/call_queue.h"

namespace tramolin {

class ReplicationData;
class ServiceControl;

// What main() hands to the main data module.
struct ShellServices {
  std::filesystem::path app_dir;  // the executable's directory
  std::string executable_name;    // file name without path
  CommandLine command_line;
  std::function<double()> clock;  // local time as a day count
  FirebirdVersionProbe firebird_probe;
  ServiceControl* service_control = nullptr;  // not owned
  StartupTimings timings;
  KeepAlive keep_alive;  // of every replication connection
};

class TDM : public QObject, public HostServices {
  Q_OBJECT

 public:
  explicit TDM(ShellServices services, QObject* parent = nullptr);
  ~TDM() override;
  TDM(const TDM&) = delete;
  TDM& operator=(const TDM&) = delete;

  // The data engine is created after this module, with Slots(), and handed over; not owned. Its
  // database events, notified on a database thread, arrive at DatabaseEventArrived on the main
  // thread: DBUPGRADE lets go of the database, REPDIALOGINSERT starts an idle client's
  // synchronisation at once.
  void AttachDatabase(ReplicationData* data);
  void DatabaseEventArrived(const std::string& name, unsigned count);
  // Where the engine reports progress and errors: the server's slots or the client's own.
  SlotBook& Slots();
  ReplicationServer& Server() { return server_side_.Room(); }
  ReplicationClient& Client() { return client_side_.Room(); }
  const ClientProcess& ClientSide() const { return client_side_; }

  // Configuration and flags.
  TConfig& Config() { return configuration_.config; }
  const TConfig& Config() const { return configuration_.config; }
  const RunFlags& Flags() const { return configuration_.flags; }
  RunFlags& Flags() { return configuration_.flags; }
  void SaveConfiguration() { configuration_.SaveConfiguration(); }
  const CommandLine& Command() const { return services_.command_line; }
  const ShellServices& Services() const { return services_; }
  std::filesystem::path AppDir() const { return services_.app_dir; }
  Logger& Logs() { return logger_; }
  // The main window, or nullptr while none exists. Not owned.
  void SetWindow(WindowView* window);
  // Whether the process has a window: started without -s, or with -v.
  bool ShowsWindow() const;

  // HostServices.
  void Log(std::string_view message, int level, bool continue_line = false) override;
  bool Closing() const override { return closing_; }
  bool ServerMode() const override { return Flags().ServerMode; }
  int LocalCopyNumber() const override { return identity_.number; }
  bool EventsEnabled() const override { return Config().Events; }
  bool FullLog() const override { return Config().FullLog; }
  double Now() const override { return services_.clock(); }
  void DatabaseConnectStarted() override { timers_.tmrDBDisconnect.stop(); }

  // The activity state of the mode's side: a ServerState or a ClientState.
  int ActivityState() const;

  // Host window and other copies.
  void SetHostWindow(long long handle);
  long long HostWindow() const { return host_window_; }
  // Starts listening for later copies and the host application. False when another copy holds
  // the channel.
  bool OpenInstanceChannel();
  static QString InstanceChannelName(const std::string& executable_name);

  // The database's structure is about to be upgraded: the other side is told or dropped, and the
  // database connection is closed a second later.
  void HandleDatabaseUpgrade();

  // Start of work and closing.
  bool StartWork();
  void BeginClose();
  std::filesystem::path PidFile() const { return AppDir() / "pid"; }

  // The local database and the program.
  double StartTime() const { return start_time_; }
  // The server status report ("Raport stanu serwera:" ...), as a technician receives it.
  std::string StatusReport() const { return ServerReport(ReportValues()); }
  const DatabaseIdentity& Identity() const { return identity_; }
  const std::string& ProgramVersion() const { return program_version_; }

  DatabaseTimers& Timers() { return timers_; }

 signals:
  void restoreRequested();
  void minimizeRequested();
  void applicationTitleChanged(QString title);
  void databaseEvent(QString name);

 private:
  void ShowActivityState(bool server, int from, int to);
  void HandleWindowMessage(const WindowMessage& message);
  bool ClientIdle() const;
  bool DatabaseIdle() const;
  void DisconnectDatabase(bool force);
  void NotifyHostWindow();
  std::string WindowCaption() const;
  void OpenServerOrArmClient();
  void OpenServer();
  void WireServer();
  void WireClient();
  void SaveAlternativeAddress(const std::string& host, int port);
  void CheckForUpdates();
  ServerReportValues ReportValues() const;
  void CreatePidFile();

  ShellServices services_;
  Configuration configuration_;
  Logger logger_;
  DatabaseTimers timers_;
  ServerProcess server_side_;
  ClientProcess client_side_;
  ReplicationData* data_ = nullptr;
  CallQueue database_events_{this};  // from the subscription's thread to this one
  WindowView* window_ = nullptr;
  std::unique_ptr<InstanceChannel> instance_channel_;

  std::atomic<bool> closing_ = false;  // read by the database workers
  long long host_window_ = 0;

  DatabaseIdentity identity_;
  std::string program_version_;
  double start_time_ = 0;
};

}  // namespace tramolin
