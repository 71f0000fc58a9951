#include "shell/startup.h"

#include <QThread>
#include <filesystem>

#include "platform/processes.h"
#include "platform/service_control.h"
#include "platform/system_info.h"
#include "shell/instance_channel.h"
#include "shell/tdm.h"
#include "util/cp1250.h"
#include "util/day_time.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;

void Sleep(int ms) { QThread::msleep(static_cast<unsigned long>(ms)); }

// A service is stopped through systemd here, by the command that names it.
std::string AlreadyRunningMessage(std::string_view service_name) {
  return Concat(
      {"Program jest już uruchomiony.\r\n\r\n"
       "(jeśli działa jako usługa należy ją zatrzymać\r\n"
       "poleceniem \"systemctl stop "_cp,
       service_name,
       "\",\r\n"
       "jeśli działa jako aplikacja odpowiednie opcje zjadują się\r\n"
       "w menu kontekstowym ikonki w zasobniku systemowym)"_cp});
}

}  // namespace

StartupSequence::StartupSequence(TDM& tdm, Wizard wizard) : tdm_(tdm), wizard_(std::move(wizard)) {}

std::optional<int> StartupSequence::Run() {
  const CommandLine& command = tdm_.Command();
  bool terminating = IsSecondCopy();
  const bool configuration_missing = !std::filesystem::exists(tdm_.AppDir() / "Tramolin2.ini");
  WizardOutcome outcome = WizardOutcome::kSavedAndStart;
  if ((!terminating && configuration_missing) || command.HasSwitch("k")) {
    outcome = RunWizard(configuration_missing);
    if (outcome != WizardOutcome::kCancelled) tdm_.SaveConfiguration();
    if (outcome != WizardOutcome::kSavedAndStart) {
      tdm_.Log("Zamykanie ...", kLogDiagnostic);
      terminating = true;
    }
  }
  if (terminating) return failed_ ? kExitFailure : kExitOk;
  if (!tdm_.Flags().RunningAsService && tdm_.Config().RunAsService) {
    return RestartInstalledService() ? kExitOk : kExitFailure;
  }
  LogStartOfWork();
  tdm_.OpenInstanceChannel();
  if (!tdm_.StartWork()) {
    tdm_.Log("Nie udało się rozpocząć pracy. Zamykanie. (szczegóły w pliku \""_cp +
                 (tdm_.AppDir() / "Tramolin2_error.log").string() + "\")",
             kLogSerious);
    return kExitFailure;
  }
  return std::nullopt;
}

bool StartupSequence::IsSecondCopy() {
  const CommandLine& command = tdm_.Command();
  if (command.HasSwitch("m") || tdm_.Flags().RunningAsService ||
      std::filesystem::exists(tdm_.AppDir() / "Tramolin2multi.txt")) {
    return false;
  }
  int running_pid = 0;
  if (!IsProcessRunning(tdm_.Services().executable_name, running_pid)) return false;
  if (!command.HasSwitch("ms"))
    tdm_.Log(AlreadyRunningMessage(tdm_.Config().ServiceName), kLogSerious);
  BringRunningCopyForward(running_pid);
  return true;
}

void StartupSequence::BringRunningCopyForward(int running_pid) {
  const CommandLine& command = tdm_.Command();
  std::vector<WindowMessage> messages{{kMsgRestore, 0, 0}};
  if (command.HasSwitch("min")) messages.push_back({kMsgMinimize, 0, 0});
  if (command.HasSwitch("h")) {
    bool is_number = false;
    const long long handle =
        QString::fromStdString(command.SwitchValue("h")).toLongLong(&is_number);
    messages.push_back({kMsgHostWindow, is_number ? handle : 0, 0});
  }
  const QString caption = QString::fromStdString("Tramolin " + GetFileVersion(ProgramPath()));
  PostToRunningCopy(TDM::InstanceChannelName(tdm_.Services().executable_name), running_pid, caption,
                    messages);
}

WizardOutcome StartupSequence::RunWizard(bool configuration_missing) {
  if (wizard_) return wizard_();
  if (configuration_missing) {
    tdm_.Log("Brak pliku konfiguracji \""_cp + (tdm_.AppDir() / "Tramolin2.ini").string() +
                 "\", a kreatora konfiguracji nie można tu wyświetlić. Przygotuj plik "
                 "konfiguracji albo uruchom program z ekranem (bez -s lub z -v)."_cp,
             kLogSerious);
    failed_ = true;
  } else {
    tdm_.Log("Kreatora konfiguracji nie można tu wyświetlić."_cp, kLogSerious);
  }
  return WizardOutcome::kCancelled;
}

bool StartupSequence::RestartInstalledService() {
  const StartupTimings& timings = tdm_.Services().timings;
  ServiceControl* services = tdm_.Services().service_control;
  const std::string& name = tdm_.Config().ServiceName;
  tdm_.Log("Uruchamianie usługi ..."_cp, kLogDiagnostic);
  if (services != nullptr) services->StopService(name);
  Sleep(timings.service_stop_wait_ms);
  std::error_code ignored;
  std::filesystem::remove(tdm_.PidFile(), ignored);
  if (services != nullptr) services->StartService(name);
  Sleep(timings.service_start_wait_ms);
  const bool started = std::filesystem::exists(tdm_.PidFile()) || ServiceProcessRuns();
  if (started) {
    tdm_.Log("Uruchomienie serwera replikacji w trybie usługi zakończono pomyślnie."_cp, kLogInfo);
  } else {
    tdm_.Log(
        "Wystąpił problem w czasie uruchamiania serwera replikacji w trybie usługi. "
        "Sprawdź pliki log."_cp,
        kLogSerious);
  }
  tdm_.Log("Zamykanie ...", kLogDiagnostic);
  return started;
}

// The service may still be on its way: one more look after a longer pause.
bool StartupSequence::ServiceProcessRuns() {
  int pid = 0;
  if (!IsProcessRunning(tdm_.Services().executable_name, pid)) return false;
  Sleep(tdm_.Services().timings.service_second_look_ms);
  return IsProcessRunning(tdm_.Services().executable_name, pid);
}

void StartupSequence::LogStartOfWork() {
  const std::string date = ShortDateText(tdm_.Now());
  if (tdm_.Flags().RunningAsService) {
    tdm_.Log("Rozpoczynanie pracy (" + date + ") jako usługa \""_cp + tdm_.Config().ServiceName +
                 "\"...",
             kLogDiagnostic);
  } else {
    tdm_.Log("Rozpoczynanie pracy (" + date + ") jako aplikacja ...", kLogDiagnostic);
  }
}

}  // namespace tramolin
