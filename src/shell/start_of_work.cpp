#include "shell/start_of_work.h"

#include <QCoreApplication>
#include <QThread>
#include <array>
#include <charconv>

#include "engine/replication_data.h"
#include "engine/slot_book.h"
#include "util/cp1250.h"

namespace tramolin {
namespace {

constexpr std::array<std::string_view, 3> kDatabaseTypeNames = {"główna"_cp, "eksportowa"_cp,
                                                                "replikowana"_cp};

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace

void LogWorkingMode(HostServices& host, const RunFlags& flags, const TConfig& config) {
  const bool server = flags.ServerMode;
  host.Log(server ? "Tryb pracy: serwer" : "Tryb pracy: klient", kLogDiagnostic);
  host.Log(flags.DesktopInteraction ? "Interakcja z pulpitem: tak" : "Interakcja z pulpitem: nie",
           kLogDiagnostic);
  host.Log(flags.RunningAsService ? "Uruchomiony jako: usługa "_cp + Quoted(config.ServiceName)
                                  : std::string("Uruchomiony jako: aplikacja"),
           kLogDiagnostic);
  host.Log(!server && flags.OnDemand ? "Na żądanie: tak"_cp : "Na żądanie: nie"_cp, kLogDiagnostic);
  host.Log(flags.TechnicianMode ? "Tryb pracy: serwisant"_cp : "Tryb pracy: zwykły"_cp,
           kLogDiagnostic);
  host.Log(config.FullLog ? "Pełne logowanie: tak"_cp : "Pełne logowanie: nie"_cp, kLogDiagnostic);
}

DatabaseStart::DatabaseStart(HostServices& host, ReplicationData& data, const SlotBook& slot_book,
                             const StartupTimings& timings, bool keep_events_flowing)
    : host_(host),
      data_(data),
      slots_(slot_book),
      timings_(timings),
      keep_events_flowing_(keep_events_flowing) {}

DatabaseIdentity DatabaseStart::Run(std::string_view program_version) {
  if (!ConnectWithRetries()) {
    throw StartError("Nie udało się nazwiązać połączenia z bazą\r\n"_cp + slots_.GetErrorText(-1));
  }
  const DatabaseIdentity identity = ReadAndLogIdentity(program_version);
  if (!SupportedDatabaseVersion(identity.version)) {
    throw StartError(UnsupportedStructureText(identity.version));
  }
  data_.WriteActivityJournal(identity);
  host_.Log("Dodano informację do dziennika REPINFO"_cp, kLogDiagnostic);
  CheckIdentityRules(identity, host_.ServerMode());
  return identity;
}

// The attempts are the start-up's own wait: an interactive process keeps its window alive
// between them.
bool DatabaseStart::ConnectWithRetries() {
  for (int attempt = 0; attempt < timings_.database_attempts; ++attempt) {
    if (data_.ConnectDatabase()) return true;
    QThread::msleep(static_cast<unsigned long>(timings_.database_retry_pause_ms));
    if (keep_events_flowing_) QCoreApplication::processEvents();
  }
  return false;
}

DatabaseIdentity DatabaseStart::ReadAndLogIdentity(std::string_view program_version) {
  const DatabaseIdentity identity = data_.ReadIdentity();
  host_.Log("ID bazy: " + std::to_string(identity.id) +
                ", typ bazy: " + std::string(DatabaseTypeName(identity.type)) +
                ", ID kopii: " + std::to_string(identity.number),
            kLogProgress);
  host_.Log("Wersja bazy: " + identity.version +
                ", wersja programu: " + std::string(program_version) +
                ", obsługiwana struktura bazy: "_cp + std::to_string(BAZA_VER_HIGH) + ".XX",
            kLogProgress);
  return identity;
}

void ReportStartFailure(HostServices& host, ReplicationData* data, const std::exception& error) {
  host.Log("Wystąpił błąd w czasie rozpoczynania pracy tramolina:\r\n"_cp + error.what(),
           kLogSerious);
  try {
    if (data != nullptr) data->DisconnectDatabase(true);
  } catch (...) {
  }
}

void CheckIdentityRules(const DatabaseIdentity& identity, bool server_mode) {
  const std::string type_name = Quoted(DatabaseTypeName(identity.type));
  if (identity.id == 0 || identity.type == -1 || identity.number == -1) {
    throw StartError("Nieprawidłowa baza danych ("_cp + Quoted(std::to_string(identity.id)) + ", " +
                     std::to_string(identity.type) + ", " + std::to_string(identity.number) + ")");
  }
  if (server_mode && identity.type != 0) {
    throw StartError("Serwer replikacji nie może współpracować z bazą: "_cp + type_name);
  }
  if (!server_mode && identity.type != 2) {
    throw StartError("Klient replikacji nie może współpracować z bazą: "_cp + type_name);
  }
  if (server_mode && identity.number != 0) {
    throw StartError(
        std::string("Serwer replikacji nie może współpracować z bazą inną niż główna"_cp));
  }
  if (!server_mode && identity.number <= 0) {
    throw StartError(std::string("Klient replikacji nie może współpracować z bazą główną"_cp));
  }
}

std::string_view DatabaseTypeName(int type) {
  if (type < 0 || static_cast<std::size_t>(type) >= kDatabaseTypeNames.size()) return {};
  return kDatabaseTypeNames[static_cast<std::size_t>(type)];
}

}  // namespace tramolin
