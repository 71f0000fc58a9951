// The two status reports a technician asks the server for: the program-wide values and one block
// per client slot. Pure text building over values the caller gathers; every line ends in CR LF.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/database_identity.h"
#include "server/client_slot.h"
#include "server/fleet_book.h"

namespace tramolin {

// Everything the server report shows, in its order. Times are local day counts.
struct ServerReportValues {
  double StartTime = 0;  // when the main data module was created
  double Now = 0;
  bool RunningAsService = false;
  bool DebugMode = false;
  bool DesktopInteraction = false;
  bool Closing = false;
  std::string ComputerDescription;
  std::string DatabasePath;
  std::int32_t LocalDatabaseId = 0;
  std::string LocalDatabaseVersion;
  std::string ProgramVersion;
  std::int32_t BAZA_VER_HIGH = tramolin::BAZA_VER_HIGH;
  std::int32_t LocalDatabaseType = -1;  // 0 main, 1 export, 2 replicated
  std::int32_t LocalCopyNumber = -1;
  std::int32_t ClientTransactionId = -1;
  std::int64_t Wyslano = 0;   // program-wide bytes sent
  std::int64_t Odebrano = 0;  // program-wide bytes received
  bool FullLog = false;
  bool ReplyTimeOutEnabled = false;  // the client's tmrKTimeOut is running
  std::int64_t HostWindow = 0;       // 0 when there is none
  std::string CommandLineText;
  bool EventsRegistered = false;  // the database event listener is registered
  bool SendNewDataFirst = false;
  bool Events = false;
  std::string AutoNaZadanie;
};

// "Raport stanu serwera:", an empty line, then one "key: value" line per value.
std::string ServerReport(const ServerReportValues& values);

// "Raport dotyczący aktywnych klientów:", an empty line, then for every slot a block headed
// "Klient[i]" (i counted from 0) followed by an empty line; then, when any copy is known, the
// title "Stan kopii:" and a block for every copy: connected, backlog, last exchange, last error.
std::string ClientsReport(const std::vector<TKlientInfo>& clients,
                          const std::vector<CopyStatus>& copies, double now);

// The status of the copies for a monitoring tool: the title line, then one line per copy with the
// fields of CopyStatus in its order, separated by tabs (blanked inside the texts). nullopt for a
// reply that is not such a status.
inline constexpr std::string_view kCopiesStatusTitle = "Stan kopii:";
inline constexpr char kStatusSeparator = '\t';
std::string CopiesStatusReply(const std::vector<CopyStatus>& copies);
std::optional<std::vector<CopyStatus>> ParseCopiesStatus(std::string_view reply);

}  // namespace tramolin
