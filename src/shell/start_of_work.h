// The start of work's own steps: the lines that say how the process works, and the database steps
// (connection with retries, identity, structure version, the REPINFO row, the identity rules of
// the mode). Free of the main data module: each step takes only what it uses.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "config/configuration.h"
#include "engine/database_identity.h"
#include "engine/host_services.h"

namespace tramolin {

class ReplicationData;
class SlotBook;

// Pauses of the start-up; tests shorten them.
struct StartupTimings {
  int service_stop_wait_ms = 1500;
  int service_start_wait_ms = 1000;
  int service_second_look_ms = 30000;
  int database_retry_pause_ms = 3000;
  int database_attempts = 10;
};

// A start failure with the message to log.
struct StartError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// "Tryb pracy: serwer", "Interakcja z pulpitem: ...", ... at the diagnostic level.
void LogWorkingMode(HostServices& host, const RunFlags& flags, const TConfig& config);

class DatabaseStart {
 public:
  DatabaseStart(HostServices& host, ReplicationData& data, const SlotBook& slot_book,
                const StartupTimings& timings, bool keep_events_flowing);

  // Every database step of the start of work; throws StartError (or the database's error) when
  // the process cannot work with this database.
  DatabaseIdentity Run(std::string_view program_version);

 private:
  bool ConnectWithRetries();
  DatabaseIdentity ReadAndLogIdentity(std::string_view program_version);

  HostServices& host_;
  ReplicationData& data_;
  const SlotBook& slots_;
  const StartupTimings& timings_;
  bool keep_events_flowing_;
};

// Logs the failure and closes the database connection by force.
void ReportStartFailure(HostServices& host, ReplicationData* data, const std::exception& error);

// Throws StartError unless the identity is a valid one for the mode: a server works on the main
// database, a client on a replicated copy.
void CheckIdentityRules(const DatabaseIdentity& identity, bool server_mode);

// "główna", "eksportowa", "replikowana"; empty for another type.
std::string_view DatabaseTypeName(int type);

}  // namespace tramolin
