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

constexpr int kActivityJournalIntervalMs = 14'400'000;
constexpr int kForceDisconnectIntervalMs = 1000;
constexpr int kIdleDisconnectIntervalMs = 780'000;
constexpr int kTechnicianIdleDisconnectIntervalMs = 180'000;
constexpr int kPublishAddressIntervalMs = 3'600'000;

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
      server_(*this),
      client_(*this),
      address_service_(*this),
      technician_port_(server_, logger_, [this] { return ReportValues(); }),
      technician_commands_(*this, technician_port_),
      start_time_(Now()) {
  InitialiseTimers();
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

void TDM::InitialiseTimers() {
  for (QTimer* timer : {&tmrDBDisconnect, &tmrDBForceDisconnect, &tmrREPINFO, &tmrSetDynDns}) {
    timer->setParent(this);
  }
  tmrREPINFO.setInterval(kActivityJournalIntervalMs);
  tmrDBForceDisconnect.setInterval(kForceDisconnectIntervalMs);
  tmrDBDisconnect.setInterval(Flags().TechnicianMode ? kTechnicianIdleDisconnectIntervalMs
                                                     : kIdleDisconnectIntervalMs);
  connect(&tmrDBDisconnect, &QTimer::timeout, this, &TDM::tmrDBDisconnectTimer);
  connect(&tmrDBForceDisconnect, &QTimer::timeout, this, &TDM::tmrDBForceDisconnectTimer);
  connect(&tmrREPINFO, &QTimer::timeout, this, &TDM::tmrREPINFOTimer);
  tmrREPINFO.start();
  tmrSetDynDns.setInterval(kPublishAddressIntervalMs);
  connect(&tmrSetDynDns, &QTimer::timeout, this, &TDM::tmrSetDynDnsTimer);
  tmrSetDynDns.start();
}

void TDM::WireClient() {
  client_.SetHooks(
      {[this](int state) { SetActivityState(state); },
       [this](int interval_ms) { RestartTimer(tmrDBDisconnect, interval_ms); },
       [this](const std::string& host, int port) { SaveAlternativeAddress(host, port); },
       [this] { held_back_flag_ = true; }});
}

void TDM::ConfigureClient() {
  ClientSettings settings = ClientSettingsFrom(Config(), Flags());
  settings.keep_alive = services_.keep_alive;
  client_.Configure(settings);
  client_.SetCredentials(ClientCredentialsFrom(Config(), Flags(), identity_, program_version_));
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
  server_.SetHooks({[this](int state) { SetActivityState(state); },
                    [this] { tmrDBDisconnect.stop(); },
                    [this](int interval_ms) { RestartTimer(tmrDBDisconnect, interval_ms); }});
  server_.SetTechnicianSink(&technician_commands_);
}

void TDM::SetWindow(WindowView* window) {
  window_ = window;
  logger_.SetWindow(window);
}

bool TDM::ShowsWindow() const { return !Flags().RunningAsService || Flags().DesktopInteraction; }

void TDM::AttachDatabase(ReplicationData* data) {
  data_ = data;
  client_.AttachDatabase(data);
  data_->SetEventHandler([this](const std::string& name, unsigned count) {
    database_events_.Post([this, name, count] { DatabaseEventArrived(name, count); });
  });
}

SlotBook& TDM::Slots() {
  if (ServerMode()) return server_;
  return client_;
}

void TDM::DatabaseEventArrived(const std::string& name, unsigned count) {
  Log("Otrzymano komunikat \"" + name + "\" (" + std::to_string(count) + ")", kLogProgress);
  if (name == "DBUPGRADE") {
    HandleDatabaseUpgrade();
  } else if (name == "REPDIALOGINSERT" && ClientIdle()) {
    Log("Dialog (1)", kLogProgress);
    client_.SyncSoon();
  }
  emit databaseEvent(QString::fromStdString(name));
}

void TDM::HandleDatabaseUpgrade() {
  if (ServerMode()) {
    server_.AnnounceDatabaseUpgrade();
  } else {
    client_.LetGoForDatabaseUpgrade();
  }
  RestartTimer(tmrDBForceDisconnect);
}

// A client logged in and waiting for its next synchronisation, which may start at once.
bool TDM::ClientIdle() const {
  return !ServerMode() && !Flags().TechnicianMode && !closing_ &&
         activity_state_ == kClientLoggedIn;
}

// A server forwards what it logs to the technicians who listen.
void TDM::Log(std::string_view message, int level, bool continue_line) {
  logger_.Log(message, level, continue_line);
  if (ForwardsLogLine(ServerMode(), server_.HasClients(), level, closing_)) {
    server_.BroadcastLog(message, level);
  }
}

void TDM::SetActivityState(int state) {
  const bool server = ServerMode();
  Log(std::string(ActivityStateName(server, activity_state_)) + " > " +
          std::string(ActivityStateName(server, state)),
      kLogDiagnostic);
  activity_state_ = state;
  if (!server) {
    NotifyHostWindow();
    if (const std::optional<int> icon = ClientTrayIcon(state, Flags().OnDemand, held_back_flag_)) {
      tray_icon_index_ = icon;
    }
    client_.ActivityStateChanged(state);
  }
  if (window_ != nullptr) {
    try {
      window_->ShowActivityState(ActivityStateName(server, state));
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
  WindowMessage report{kMsgHostWindow, closing_ ? -1 : activity_state_, 0};
  if (!closing_) report.lparam = (Flags().OnDemand ? 1 : 0) + (held_back_flag_ ? 2 : 0);
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
      if (ClientIdle() && !Flags().OnDemand) client_.SyncSoon();
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
    SetActivityState(ServerMode() ? int{kServerStarting} : int{kClientDisconnected});
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
    ConfigureClient();
    client_.Arm();
  }
  RestartTimer(tmrDBDisconnect, kIdleDisconnectIntervalMs);
}

void TDM::OpenServer() {
  ServerSettings settings = ServerSettingsFrom(Config(), Flags());
  settings.keep_alive = services_.keep_alive;
  server_.Configure(settings);
  server_.SetWorkerDatabase(WorkerDatabaseLike(*data_));
  server_.SetIdentity({identity_.id, program_version_, identity_.version});
  const auto port = static_cast<quint16>(Config().ServerPort);
  if (!server_.Listen(port)) {
    Log("Nie można nasłuchiwać na porcie "_cp + std::to_string(port), kLogError);
  }
  address_service_.PublishServerAddress(PublishingSettingsFrom(Config()));
}

void TDM::tmrSetDynDnsTimer() {
  if (ServerMode()) address_service_.PublishServerAddress(PublishingSettingsFrom(Config()));
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
  values.LocalDatabaseVersion = server_.Identity().database_version;
  values.ProgramVersion = program_version_;
  values.LocalDatabaseType = identity_.type;
  values.LocalCopyNumber = identity_.number;
  values.ClientTransactionId = client_.ClientTransactionId;
  const TrafficCounters& traffic = ServerMode() ? server_.Traffic() : client_.Link().Traffic();
  values.Wyslano = static_cast<std::int64_t>(traffic.Wyslano);
  values.Odebrano = static_cast<std::int64_t>(traffic.Odebrano);
  values.FullLog = Config().FullLog;
  values.ReplyTimeOutEnabled = client_.tmrKTimeOut.isActive();
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

void TDM::tmrDBDisconnectTimer() {
  tmrDBDisconnect.stop();
  const bool idle_server = ServerMode() && !server_.HasClients();
  const bool idle_client = !ServerMode() && activity_state_ == kClientLoggedIn;
  if ((idle_server || idle_client) && data_ != nullptr) {
    try {
      data_->DisconnectDatabase(false);
    } catch (const std::exception& error) {
      Log(error.what(), kLogError);
    }
  }
  if (idle_client) client_.DisconnectDatabase(false);
}

void TDM::tmrDBForceDisconnectTimer() {
  tmrDBForceDisconnect.stop();
  if (data_ == nullptr) return;
  try {
    data_->DisconnectDatabase(true);
  } catch (const std::exception& error) {
    Log(error.what(), kLogError);
  }
  if (!ServerMode()) client_.DisconnectDatabase(true);
}

void TDM::tmrREPINFOTimer() {
  if (data_ != nullptr) data_->TouchActivity();
}

}  // namespace tramolin
