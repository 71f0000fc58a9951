// Tramolin 2: the replicator's process. Creates the main data module, the data engine and
// the main window (or, without a display or as a service, the terminal's log view), runs the
// start-up sequence and then the message loop.
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

#include "config/program_switches.h"
#include "engine/pass_dm.h"
#include "engine/replication_data.h"
#include "platform/service_control.h"
#include "platform/system_info.h"
#include "shell/console_view.h"
#include "shell/database_link.h"
#include "shell/fleet_status_rules.h"
#include "shell/logging_application.h"
#include "shell/shutdown_signals.h"
#include "shell/startup.h"
#include "shell/tdm.h"
#include "shell/technician_console.h"
#include "ui/desktop_application.h"
#include "ui/main_window.h"
#include "ui/wizard.h"
#include "util/command_line.h"
#include "util/cp1250.h"
#include "util/day_time.h"

namespace {

using namespace tramolin;

std::string EnvironmentValue(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

std::optional<int> NonNegativeNumber(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

// Settings a test or an administrator may override from the environment. A value that is not a
// number of milliseconds keeps the default; the note is logged once the log exists.
StartupTimings TimingsFromEnvironment(std::string& note) {
  StartupTimings timings;
  const std::string pause = EnvironmentValue("TRAMOLIN2_DB_RETRY_PAUSE_MS", "");
  if (pause.empty()) return timings;
  if (const std::optional<int> value = NonNegativeNumber(pause)) {
    timings.database_retry_pause_ms = *value;
  } else {
    note = "TRAMOLIN2_DB_RETRY_PAUSE_MS=\"" + pause +
           std::string("\" nie jest liczbą milisekund; przerwa między próbami: "_cp) +
           std::to_string(timings.database_retry_pause_ms) + " ms.";
  }
  return timings;
}

// "idle,interval,probes" in seconds (TRAMOLIN2_KEEPALIVE); the defaults otherwise.
KeepAlive KeepAliveFromEnvironment(std::string& note) {
  const std::string text = EnvironmentValue("TRAMOLIN2_KEEPALIVE", "");
  if (text.empty()) return {};
  if (const std::optional<KeepAlive> settings = ParseKeepAlive(text)) return *settings;
  note = "TRAMOLIN2_KEEPALIVE=\"" + text +
         std::string("\" nie ma postaci \"sekundy,odstęp,próby\"; użyto 60,10,5."_cp);
  return {};
}

// Where Tramolin2.ini, the logs and pid are.
std::filesystem::path ProgramFolder() {
  return AppDirectory(EnvironmentValue(kProgramFolderVariable, ""), ProgramPath());
}

ShellServices MakeShellServices(int argc, char** argv, TPassDM& pass_dm, std::string& note) {
  ShellServices services;
  services.app_dir = ProgramFolder();
  services.executable_name = ProgramPath().filename().string();
  services.command_line = CommandLine(std::vector<std::string>(argv + 1, argv + argc));
  services.clock = NowDayCount;
  services.firebird_probe = [&pass_dm](const TConfig& config) {
    return ProbeServerVersion(pass_dm, config);
  };
  services.timings = TimingsFromEnvironment(note);
  services.keep_alive = KeepAliveFromEnvironment(note);
  return services;
}

// A window for an interactive process, or a service started with -v, on a desktop; any other
// process logs to the terminal and needs no GUI at all.
bool WantsWindow(int argc, char** argv) {
  const CommandLine switches(argc, argv);
  return (!switches.HasSwitch("s") || switches.HasSwitch("v")) && DesktopAvailable();
}

}  // namespace

int main(int argc, char** argv) {
  // Before anything else: no display, no other copy and no configuration is looked at.
  const CommandLine command_line(argc, argv);
  if (const std::optional<std::string> information = RequestedInformation(command_line)) {
    std::cout << Cp1250ToUtf8(*information);
    return 0;
  }
  // The technician's console on a terminal: no display, no other copy, no database.
  if (AsksForConsole(command_line)) return RunTechnicianConsole(argc, argv, ProgramFolder());
  if (AsksForStatus(command_line)) return RunFleetStatus(argc, argv, ProgramFolder());
  ShutdownSignals::BlockInAllThreads();
  const bool windowed = WantsWindow(argc, argv);
  std::unique_ptr<QCoreApplication> app;
  ExceptionLogging* exception_logging = nullptr;
  if (windowed) {
    auto widgets = std::make_unique<LoggingWidgetApplication>(argc, argv);
    widgets->setQuitOnLastWindowClosed(false);  // the tray hides the window; closing it quits
    exception_logging = widgets.get();
    app = std::move(widgets);
  } else {
    auto core = std::make_unique<LoggingApplication>(argc, argv);
    exception_logging = core.get();
    app = std::move(core);
  }
  QCoreApplication::setApplicationName(QStringLiteral("Tramolin 2"));

  ServiceControl service_control(EnvironmentValue("TRAMOLIN2_UNIT_DIR", "/etc/systemd/system"),
                                 EnvironmentValue("TRAMOLIN2_SYSTEMCTL", "systemctl"));
  TPassDM pass_dm;
  std::string environment_note;
  ShellServices services = MakeShellServices(argc, argv, pass_dm, environment_note);
  services.service_control = &service_control;

  ConsoleView console(std::cout);  // outlives the main data module, which logs until its end
  TDM tdm(std::move(services));
  exception_logging->SetLogger(&tdm.Logs());
  if (tdm.ShowsWindow() && !windowed) tdm.SetWindow(&console);
  if (!environment_note.empty()) tdm.Log(environment_note, kLogError);
  ReplicationData data(tdm, tdm.Slots(), pass_dm, DatabaseSettingsOf(tdm.Config()));
  tdm.AttachDatabase(&data);
  std::unique_ptr<TfMainTramolin_2> window;  // goes before the main data module
  if (windowed) {
    window = std::make_unique<TfMainTramolin_2>(tdm);
    QObject::connect(window.get(), &TfMainTramolin_2::closed, &tdm,
                     [] { QCoreApplication::quit(); });
  }

  // Without a window the wizard cannot be shown; the start-up sequence then says so.
  StartupSequence::Wizard wizard;
  if (windowed) {
    wizard = [&tdm, &service_control, &pass_dm] {
      return ShowConfigurationWizard(tdm, service_control, pass_dm);
    };
  }
  StartupSequence startup(tdm, std::move(wizard));
  if (const std::optional<int> exit_status = startup.Run()) return *exit_status;
  if (window) window->show();

  ShutdownSignals shutdown;
  QObject::connect(&shutdown, &ShutdownSignals::shutdownRequested, &tdm, [&tdm] {
    tdm.BeginClose();
    QCoreApplication::quit();
  });
  return QCoreApplication::exec();
}
