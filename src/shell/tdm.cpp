#include "shell/tdm.h"

#include <unistd.h>

#include <QCoreApplication>
#include <fstream>

#include "client/client_configuration.h"
#include "client/server_link.h"
#include "client/update_check.h"
#include "engine/replication_data.h"
#include "net/restart_timer.h"
#include "platform/service_control.h"
#include "platform/system_info.h"
#include "server/server_configuration.h"
#include "shell/activity_state.h"
#include "util/cp1250.h"
#include "util/day_time.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

ProcessKind KindOf(const RunFlags& flags) {
  if (!flags.RunningAsService) return ProcessKind::kInteractive;
  return flags.DesktopInteraction ? ProcessKind::kServiceWithWindow
                                  : ProcessKind::kServiceWithoutWindow;
}

Configuration LoadedConfiguration(const ShellServices& services) {
  Configuration configuration(services.app_dir.string() + "/");
  configuration.LoadConfiguration(services.command_line, services.firebird_probe);
  return configuration;
}

}  // namespace

TDM::TDM(ShellServices services, QObject* parent)
    : QObject(parent),
      services_(std::move(services)),
      configuration_(LoadedConfiguration(services_)),
      logger_(services_.app_dir, KindOf(Flags()), services_.clock),
      timers_(Flags().TechnicianMode,
              {[this] { return DatabaseIdle(); }, [this](bool force) { DisconnectDatabase(force); },
               [this] {
                 if (data_ != nullptr) data_->TouchActivity();
               }},
              this),
      server_side_(*this, logger_, [this] { return ReportValues(); }),
      client_side_(*this),
      start_time_(Now()) {
  WireServer();
  WireClient();
  logger_.SetDebugMode(Flags().DebugMode);
  logger_.SetFullLog(Config().FullLog);
  if (configuration_.host_window) SetHostWindow(*configuration_.host_window);
  Log("DataModuleCreate", kLogDiagnostic);
}

TDM::~TDM() {
  Log("DataModuleDestroy", kLogDiagnostic);
  const bool service = Flags().RunningAsService;
  if (service) logger_.SaveLog(true);
  try {
    logger_.SaveFullLog(true);
  } catch (...) {
  }
  if (service && services_.service_control != nullptr) {
    services_.service_control->StopService(Config().ServiceName);
  }
}

void TDM::WireClient() {
  client_side_.SetHooks(
      {[this](ClientState from, ClientState to) { ShowActivityState(false, from, to); },
       [this](int interval_ms) { RestartTimer(timers_.tmrDBDisconnect, interval_ms); },
       [this](const std::string& host, int port) { SaveAlternativeAddress(host, port); }});
}

// A looked-up server address that answered is kept as the alternative address.
void TDM::SaveAlternativeAddress(const std::string& host, int port) {
  Config().ClientHost2 = host;
  Config().ClientPort2 = port;
  try {
    SaveConfiguration();
  } catch (const std::exception& error) {
    Log(error.what(), kLogError);
  }
}

void TDM::WireServer() {
  server_side_.SetHooks(
      {[this](ServerState from, ServerState to) { ShowActivityState(true, from, to); },
       [this] { timers_.tmrDBDisconnect.stop(); },
       [this](int interval_ms) { RestartTimer(timers_.tmrDBDisconnect, interval_ms); }});
}

void TDM::SetWindow(WindowView* window) {
  window_ = window;
  logger_.SetWindow(window);
}

bool TDM::ShowsWindow() const { return !Flags().RunningAsService || Flags().DesktopInteraction; }

void TDM::AttachDatabase(ReplicationData* data) {
  data_ = data;
  Client().AttachDatabase(data);
  data_->SetEventHandler([this](const std::string& name, unsigned count) {
    database_events_.Post([this, name, count] { DatabaseEventArrived(name, count); });
  });
}

SlotBook& TDM::Slots() {
  if (ServerMode()) return Server();
  return Client();
}

int TDM::ActivityState() const {
  if (ServerMode()) return server_side_.State();
  return client_side_.State();
}

void TDM::DatabaseEventArrived(const std::string& name, unsigned count) {
  Log("Otrzymano komunikat \"" + name + "\" (" + std::to_string(count) + ")", kLogProgress);
  if (name == "DBUPGRADE") {
    HandleDatabaseUpgrade();
  } else if (name == "REPDIALOGINSERT" && ClientIdle()) {
    Log("Dialog (1)", kLogProgress);
    Client().SyncSoon();
  }
  emit databaseEvent(QString::fromStdString(name));
}

void TDM::HandleDatabaseUpgrade() {
  if (ServerMode()) {
    Server().AnnounceDatabaseUpgrade();
  } else {
    Client().LetGoForDatabaseUpgrade();
  }
  RestartTimer(timers_.tmrDBForceDisconnect);
}

// A client logged in and waiting for its next synchronisation, which may start at once.
bool TDM::ClientIdle() const {
  return !ServerMode() && !Flags().TechnicianMode && !closing_ &&
         client_side_.State() == kClientLoggedIn;
}

// A server forwards what it logs to the technicians who listen.
void TDM::Log(std::string_view message, int level, bool continue_line) {
  logger_.Log(message, level, continue_line);
  if (ForwardsLogLine(ServerMode(), Server().HasClients(), level, closing_)) {
    Server().BroadcastLog(message, level);
  }
}

// Only the mode's own side shows its state: the other one is never opened.
void TDM::ShowActivityState(bool server, int from, int to) {
  if (server != ServerMode()) return;
  Log(std::string(ActivityStateName(server, from)) + " > " +
          std::string(ActivityStateName(server, to)),
      kLogDiagnostic);
  if (!server) NotifyHostWindow();
  if (window_ != nullptr) {
    try {
      window_->ShowActivityState(ActivityStateName(server, to));
    } catch (...) {
    }
  }
}

void TDM::SetHostWindow(long long handle) {
  host_window_ = handle;
  NotifyHostWindow();
}

void TDM::NotifyHostWindow() {
  if (host_window_ == 0 || ServerMode() || Flags().TechnicianMode || !instance_channel_) return;
  WindowMessage report{kMsgHostWindow, closing_ ? -1 : ActivityState(), 0};
  if (!closing_) report.lparam = (Flags().OnDemand ? 1 : 0) + (client_side_.HeldBack() ? 2 : 0);
  instance_channel_->PostToHostWindow(host_window_, report);
}

QString TDM::InstanceChannelName(const std::string& executable_name) {
  return QString::fromStdString(executable_name) + "-" + QString::number(getuid());
}

bool TDM::OpenInstanceChannel() {
  instance_channel_ =
      std::make_unique<InstanceChannel>(InstanceChannelName(services_.executable_name), this);
  instance_channel_->SetCaption(QString::fromStdString(Cp1250ToUtf8(WindowCaption())));
  connect(instance_channel_.get(), &InstanceChannel::messageReceived, this,
          &TDM::HandleWindowMessage);
  return instance_channel_->Listen();
}

void TDM::HandleWindowMessage(const WindowMessage& message) {
  Log("Komunikat " + std::to_string(message.number) + " (" + std::to_string(message.wparam) + ", " +
          std::to_string(message.lparam) + ")",
      kLogDiagnostic);
  switch (message.number) {
    case kMsgRestore:
      emit restoreRequested();
      break;
    case kMsgMinimize:
      emit minimizeRequested();
      break;
    case kMsgSyncNow:
      if (ClientIdle() && !Flags().OnDemand) Client().SyncSoon();
      break;
    case kMsgHostWindow:
      SetHostWindow(message.wparam);
      break;
    default:
      break;
  }
}

std::string TDM::WindowCaption() const {
  return ShowsWindow() ? "Tramolin " + GetFileVersion(ProgramPath()) : "Tramolin";
}

bool TDM::StartWork() {
  try {
    LogWorkingMode(*this, Flags(), Config());
    if (ServerMode()) {
      Server().SetActivityState(kServerStarting);
    } else {
      ClientSettings settings = ClientSettingsFrom(Config(), Flags());
      settings.keep_alive = services_.keep_alive;
      client_side_.Configure(settings);
      Client().SetActivityState(kClientDisconnected);
    }
    program_version_ = GetFileVersion(ProgramPath());
    if (!Flags().TechnicianMode) {
      DatabaseStart start(*this, *data_, Slots(), services_.timings, !Flags().RunningAsService);
      identity_ = start.Run(program_version_);
    }
    CheckForUpdates();
    OpenServerOrArmClient();
    CreatePidFile();
    return true;
  } catch (const std::exception& error) {
    ReportStartFailure(*this, data_, error);
    return false;
  }
}

// The address publishing arrives with the client; here the start of work arms what exists.
void TDM::OpenServerOrArmClient() {
  if (ServerMode()) {
    emit applicationTitleChanged(QStringLiteral("Tramolin 2 - serwer"));
    OpenServer();
  } else {
    emit applicationTitleChanged(QStringLiteral("Tramolin 2 - klient"));
    client_side_.Start(ClientCredentialsFrom(Config(), Flags(), identity_, program_version_));
  }
  RestartTimer(timers_.tmrDBDisconnect, kIdleDisconnectIntervalMs);
}

void TDM::OpenServer() {
  ServerOpening opening;
  opening.settings = ServerSettingsFrom(Config(), Flags());
  opening.settings.keep_alive = services_.keep_alive;
  opening.identity = {identity_.id, program_version_, identity_.version};
  opening.port = static_cast<quint16>(Config().ServerPort);
  opening.publishing = PublishingSettingsFrom(Config());
  server_side_.Open(opening, WorkerDatabaseLike(*data_));
}

// The report to the vendor's update check; nothing waits for it.
void TDM::CheckForUpdates() {
  UpdateCheckSettings settings;
  settings.endpoint = Config().UpdateCheckUrl;
  settings.customer_number = Config().CustomerNumber;
  settings.customer_name = Config().CustomerName;
  settings.program_directory = AppDir();
  settings.program_version = program_version_;
  settings.computer_name = ComputerName();
  tramolin::CheckForUpdates(settings, this);
}

ServerReportValues TDM::ReportValues() const {
  ServerReportValues values;
  values.StartTime = start_time_;
  values.Now = Now();
  values.RunningAsService = Flags().RunningAsService;
  values.DebugMode = Flags().DebugMode;
  values.DesktopInteraction = Flags().DesktopInteraction;
  values.Closing = closing_;
  values.ComputerDescription = ComputerDescription();
  values.DatabasePath = DatabasePath(Config().DBHost, Config().DBPath, Config().DBFile);
  values.LocalDatabaseId = identity_.id;
  values.LocalDatabaseVersion = server_side_.Room().Identity().database_version;
  values.ProgramVersion = program_version_;
  values.LocalDatabaseType = identity_.type;
  values.LocalCopyNumber = identity_.number;
  const ReplicationClient& client = client_side_.Room();
  values.ClientTransactionId = client.ClientTransactionId;
  const TrafficCounters& traffic =
      ServerMode() ? server_side_.Room().Traffic() : client.Link().Traffic();
  values.Wyslano = static_cast<std::int64_t>(traffic.Wyslano);
  values.Odebrano = static_cast<std::int64_t>(traffic.Odebrano);
  values.FullLog = Config().FullLog;
  values.ReplyTimeOutEnabled = client.tmrKTimeOut.isActive();
  values.HostWindow = host_window_;
  values.CommandLineText = Command().CommandLineText();
  values.EventsRegistered = data_ != nullptr && data_->EventsRegistered();
  values.SendNewDataFirst = Config().SendNewDataFirst;
  values.Events = Config().Events;
  values.AutoNaZadanie = Config().AutoNaZadanie;
  return values;
}

void TDM::CreatePidFile() { std::ofstream pid(PidFile(), std::ios::trunc); }

void TDM::BeginClose() {
  Log("Zamykanie (" + ShortDateText(Now()) + ") ...", kLogProgress);
  closing_ = true;
  NotifyHostWindow();
  if (!Flags().RunningAsService) logger_.SaveLog(true);
}

// A server without clients, or a client logged in and waiting for its next synchronisation.
bool TDM::DatabaseIdle() const {
  if (ServerMode()) return !server_side_.Room().HasClients();
  return client_side_.State() == kClientLoggedIn;
}

// The start of work's connection and the client's worker's; a server's sessions keep theirs.
void TDM::DisconnectDatabase(bool force) {
  if (data_ == nullptr) return;
  try {
    data_->DisconnectDatabase(force);
  } catch (const std::exception& error) {
    Log(error.what(), kLogError);
  }
  if (!ServerMode()) Client().DisconnectDatabase(force);
}

}  // namespace tramolin
