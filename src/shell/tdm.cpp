#include "shell/tdm.h"

#include <unistd.h>

#include <QCoreApplication>
#include <array>
#include <charconv>
#include <fstream>

#include "platform/service_control.h"
#include "platform/system_info.h"
#include "shell/activity_state.h"
#include "shell/restart_timer.h"
#include "util/cp1250.h"
#include "util/day_time.h"

namespace tramolin {
namespace {

constexpr int kReplicateIntervalMs = 50;
constexpr int kReplyTimeoutMs = 3'600'000;
constexpr int kActivityJournalIntervalMs = 14'400'000;
constexpr int kPublishAddressIntervalMs = 3'600'000;
constexpr int kForceDisconnectIntervalMs = 1000;
constexpr int kZombieSweepIntervalMs = 900'000;
constexpr int kTechnicianIdleDisconnectIntervalMs = 180'000;
constexpr int kAutoOnDemandIntervalMs = 50'000;

constexpr std::array<std::string_view, 3> kDatabaseTypeNames = {"główna"_cp, "eksportowa"_cp,
                                                                "replikowana"_cp};

ProcessKind KindOf(const CommandLine& command_line) {
  if (!command_line.HasSwitch("s")) return ProcessKind::kInteractive;
  return command_line.HasSwitch("v") ? ProcessKind::kServiceWithWindow
                                     : ProcessKind::kServiceWithoutWindow;
}

}  // namespace

TDM::TDM(ShellServices services, QObject* parent)
    : QObject(parent),
      services_(std::move(services)),
      logger_(services_.app_dir, KindOf(services_.command_line), services_.clock),
      configuration_(services_.app_dir.string() + "/") {
  InitialiseTimers();
  ConnectTimerHandlers();
  start_time_ = Now();
  configuration_.LoadConfiguration(services_.command_line, services_.firebird_probe);
  logger_.SetDebugMode(Flags().DebugMode);
  logger_.SetFullLog(Config().FullLog);
  if (configuration_.host_window) SetHostWindow(*configuration_.host_window);
  if (!Flags().TechnicianMode) tmrDBDisconnect.setInterval(kIdleDisconnectIntervalMs);
  Log("DataModuleCreate", kLogDiagnostic);
}

TDM::~TDM() {
  Log("DataModuleDestroy", kLogDiagnostic);
  const bool service = services_.command_line.HasSwitch("s");
  if (service) logger_.SaveLog(true);
  try {
    logger_.SaveFullLog(true);
  } catch (...) {
  }
  if (service && services_.service_control != nullptr) {
    services_.service_control->StopService(Config().ServiceName);
  }
}

void TDM::SetWindow(WindowView* window) {
  window_ = window;
  logger_.SetWindow(window);
}

void TDM::AttachDatabase(TDMDB* database) {
  database_ = database;
  database_->SetEventHandler([this](const std::string& name, unsigned count) {
    QMetaObject::invokeMethod(
        this, [this, name, count] { DatabaseEventArrived(name, count); }, Qt::QueuedConnection);
  });
}

void TDM::DatabaseEventArrived(const std::string& name, unsigned count) {
  Log("Zdarzenie bazy danych: " + name + " (" + std::to_string(count) + ")", kLogDiagnostic);
  emit databaseEvent(QString::fromStdString(name));
}

void TDM::InitialiseTimers() {
  for (QTimer* timer : {&tmrKReplikuj, &tmrKConnect, &tmrKTimeOut, &tmrKAutoNaZadanie, &tmrZombie,
                        &tmrDBDisconnect, &tmrDBForceDisconnect, &tmrREPINFO, &tmrSetDynDns}) {
    timer->setParent(this);
  }
  tmrKReplikuj.setInterval(kReplicateIntervalMs);
  tmrKConnect.setInterval(kConnectIntervalMs);
  tmrKTimeOut.setInterval(kReplyTimeoutMs);
  tmrKAutoNaZadanie.setInterval(kAutoOnDemandIntervalMs);
  tmrREPINFO.setInterval(kActivityJournalIntervalMs);
  tmrSetDynDns.setInterval(kPublishAddressIntervalMs);
  tmrDBForceDisconnect.setInterval(kForceDisconnectIntervalMs);
  tmrDBDisconnect.setInterval(kTechnicianIdleDisconnectIntervalMs);
  RestartTimer(tmrZombie, kZombieSweepIntervalMs);
  tmrREPINFO.start();
}

void TDM::ConnectTimerHandlers() {
  connect(&tmrDBDisconnect, &QTimer::timeout, this, &TDM::tmrDBDisconnectTimer);
  connect(&tmrDBForceDisconnect, &QTimer::timeout, this, &TDM::tmrDBForceDisconnectTimer);
  connect(&tmrREPINFO, &QTimer::timeout, this, &TDM::tmrREPINFOTimer);
}

void TDM::Log(std::string_view message, int level, bool continue_line) {
  logger_.Log(message, level, continue_line);
}

void TDM::SetProgress(int /*slot*/, int /*percent*/) {}

void TDM::SetErrorText(int slot, std::string_view text) {
  if (slot == -1) local_error_text_ = text;
}

std::string TDM::GetErrorText(int slot) const {
  return slot == -1 ? local_error_text_ : std::string();
}

int TDM::GetSlotDBNR(int /*slot*/) const { return -1; }

int TDM::GetSlotLastTransID(int /*slot*/) const { return -1; }

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
    if (const std::optional<int> timeout = ClientReplyTimeout(state)) {
      RestartTimer(tmrKTimeOut, *timeout);
    } else {
      tmrKTimeOut.stop();
    }
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
      if (!ServerMode() && !Flags().OnDemand && !Flags().TechnicianMode && !closing_ &&
          activity_state_ == kClientLoggedIn) {
        RestartTimer(tmrKReplikuj, kReplicateIntervalMs);
      }
      break;
    case kMsgHostWindow:
      SetHostWindow(message.wparam);
      break;
    default:
      break;
  }
}

bool TDM::ShowsWindow() const {
  return !services_.command_line.HasSwitch("s") || services_.command_line.HasSwitch("v");
}

std::string TDM::WindowCaption() const {
  return ShowsWindow() ? "Tramolin " + GetFileVersion(ProgramPath()) : "Tramolin";
}

void TDM::CreatePidFile() { std::ofstream pid(PidFile(), std::ios::trunc); }

void TDM::BeginClose() {
  Log("Zamykanie (" + ShortDateText(Now()) + ") ...", kLogProgress);
  closing_ = true;
  NotifyHostWindow();
  if (!services_.command_line.HasSwitch("s")) logger_.SaveLog(true);
}

std::string_view TDM::DatabaseTypeName(int type) {
  if (type < 0 || static_cast<std::size_t>(type) >= kDatabaseTypeNames.size()) return {};
  return kDatabaseTypeNames[static_cast<std::size_t>(type)];
}

bool TDM::CheckDatabaseVersion() const { return SupportedDatabaseVersion(identity_.version); }

bool SupportedDatabaseVersion(std::string_view version) {
  const std::size_t dot = version.find('.');
  int major = 0;
  if (dot != std::string_view::npos) {
    const auto [end, error] = std::from_chars(version.data(), version.data() + dot, major);
    if (error != std::errc() || end != version.data() + dot) major = 0;
  }
  return major <= BAZA_VER_HIGH;
}

}  // namespace tramolin
