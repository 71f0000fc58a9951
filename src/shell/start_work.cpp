// The start of work: database checks, then the server's listening socket or the client's
// connection timer; and the database timers' handlers.
#include <QCoreApplication>
#include <QThread>
#include <stdexcept>

#include "engine/dmdb.h"
#include "platform/system_info.h"
#include "shell/activity_state.h"
#include "shell/restart_timer.h"
#include "shell/tdm.h"
#include "util/cp1250.h"

namespace tramolin {
namespace {

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// A start failure with its message; the failure handler logs it.
struct StartError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace

bool TDM::StartWork() {
  try {
    LogWorkingMode();
    SetActivityState(0);
    program_version_ = GetFileVersion(ProgramPath());
    if (!Flags().TechnicianMode) {
      if (!ConnectDatabaseWithRetries()) {
        throw StartError("Nie udało się nazwiązać połączenia z bazą\r\n"_cp + GetErrorText(-1));
      }
      ReadDatabaseIdentity();
      if (!CheckDatabaseVersion()) {
        throw StartError(
            "Niezgodna główna wersja struktury bazy danych (oczekiwana: 119.XX, zastana: "_cp +
            identity_.version +
            ")\r\n(Oczekiwana wersja wyższa od zastanej oznacza konieczność aktualizacji "
            "programu Velmo.exe\r\n niższa oczekiwana wersja oznacza konieczność "
            "aktualizacji programu Tramolin2.exe)"_cp);
      }
      database_->WriteActivityJournal(identity_);
      Log("Dodano informację do dziennika REPINFO"_cp, kLogDiagnostic);
      CheckIdentityRules();
    }
    OpenServerOrArmClient();
    CreatePidFile();
    return true;
  } catch (const std::exception& error) {
    HandleStartFailure(error);
    return false;
  }
}

void TDM::LogWorkingMode() {
  const bool service = Command().HasSwitch("s");
  Log(ServerMode() ? "Tryb pracy: serwer" : "Tryb pracy: klient", kLogDiagnostic);
  Log(Command().HasSwitch("v") ? "Interakcja z pulpitem: tak" : "Interakcja z pulpitem: nie",
      kLogDiagnostic);
  Log(service ? "Uruchomiony jako: usługa "_cp + Quoted(Config().ServiceName)
              : std::string("Uruchomiony jako: aplikacja"),
      kLogDiagnostic);
  Log(!ServerMode() && Flags().OnDemand ? "Na żądanie: tak"_cp : "Na żądanie: nie"_cp,
      kLogDiagnostic);
  Log(Flags().TechnicianMode ? "Tryb pracy: serwisant"_cp : "Tryb pracy: zwykły"_cp,
      kLogDiagnostic);
  Log(Config().FullLog ? "Pełne logowanie: tak"_cp : "Pełne logowanie: nie"_cp, kLogDiagnostic);
}

bool TDM::ConnectDatabaseWithRetries() {
  const StartupTimings& timings = services_.timings;
  for (int attempt = 0; attempt < timings.database_attempts; ++attempt) {
    if (database_->ConnectDatabase()) return true;
    QThread::msleep(static_cast<unsigned long>(timings.database_retry_pause_ms));
    if (!Command().HasSwitch("s")) QCoreApplication::processEvents();
  }
  return false;
}

void TDM::ReadDatabaseIdentity() {
  identity_ = database_->ReadIdentity();
  Log("ID bazy: " + std::to_string(identity_.id) +
          ", typ bazy: " + std::string(DatabaseTypeName(identity_.type)) +
          ", ID kopii: " + std::to_string(identity_.number),
      kLogProgress);
  Log("Wersja bazy: " + identity_.version + ", wersja programu: " + program_version_ +
          ", obsługiwana struktura bazy: "_cp + std::to_string(BAZA_VER_HIGH) + ".XX",
      kLogProgress);
}

void TDM::CheckIdentityRules() const {
  const std::string type_name = Quoted(DatabaseTypeName(identity_.type));
  if (identity_.id == 0 || identity_.type == -1 || identity_.number == -1) {
    throw StartError("Nieprawidłowa baza danych ("_cp + Quoted(std::to_string(identity_.id)) +
                     ", " + std::to_string(identity_.type) + ", " +
                     std::to_string(identity_.number) + ")");
  }
  if (ServerMode() && identity_.type != 0) {
    throw StartError("Serwer replikacji nie może współpracować z bazą: "_cp + type_name);
  }
  if (!ServerMode() && identity_.type != 2) {
    throw StartError("Klient replikacji nie może współpracować z bazą: "_cp + type_name);
  }
  if (ServerMode() && identity_.number != 0) {
    throw StartError(
        std::string("Serwer replikacji nie może współpracować z bazą inną niż główna"_cp));
  }
  if (!ServerMode() && identity_.number <= 0) {
    throw StartError(std::string("Klient replikacji nie może współpracować z bazą główną"_cp));
  }
}

// The listening socket, the address publishing and the client's connection timers arrive with
// the server and client; here the start of work arms what exists.
void TDM::OpenServerOrArmClient() {
  if (ServerMode()) {
    emit applicationTitleChanged(QStringLiteral("Tramolin 2 - serwer"));
  } else {
    emit applicationTitleChanged(QStringLiteral("Tramolin 2 - klient"));
    if (Flags().OnDemand) {
      tmrKAutoNaZadanie.start();
    } else {
      RestartTimer(tmrKConnect, kConnectIntervalMs);
    }
  }
  RestartTimer(tmrDBDisconnect, kIdleDisconnectIntervalMs);
}

void TDM::HandleStartFailure(const std::exception& error) {
  Log("Wystąpił błąd w czasie rozpoczynania pracy tramolina:\r\n"_cp + error.what(), kLogSerious);
  try {
    if (database_ != nullptr) database_->DisconnectDatabase(true);
  } catch (...) {
  }
}

void TDM::tmrDBDisconnectTimer() {
  tmrDBDisconnect.stop();
  const bool idle_server = ServerMode() /* && no client slots: the server adds that check */;
  const bool idle_client = !ServerMode() && activity_state_ == kClientLoggedIn;
  if ((idle_server || idle_client) && database_ != nullptr) {
    try {
      database_->DisconnectDatabase(false);
    } catch (const std::exception& error) {
      Log(error.what(), kLogError);
    }
  }
}

void TDM::tmrDBForceDisconnectTimer() {
  tmrDBForceDisconnect.stop();
  if (database_ == nullptr) return;
  try {
    database_->DisconnectDatabase(true);
  } catch (const std::exception& error) {
    Log(error.what(), kLogError);
  }
}

void TDM::tmrREPINFOTimer() {
  if (database_ != nullptr) database_->TouchActivity();
}

}  // namespace tramolin
