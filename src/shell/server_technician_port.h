// Where a technician's commands meet the running program: replies and slot changes go to the
// server, SQL to the data engine, the log files to the logger, and the reports are filled from
// the main data module's values.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "server/server_reports.h"
#include "server/technician_commands.h"

namespace tramolin {

class Logger;
class ReplicationServer;

class ServerTechnicianPort : public TechnicianServerPort {
 public:
  // `report_values` gives the program's values for the server report. References must outlive
  // the port.
  ServerTechnicianPort(ReplicationServer& server, Logger& logs,
                       std::function<ServerReportValues()> report_values);

  int SlotIndexOf(const ClientSession& session) override;
  void SendCommandPacket(ClientSession& session, std::string_view payload) override;
  void SetSlotLogging(ClientSession& session, bool on) override;
  void CloseSlot(int slot) override;
  // On the technician session's worker: the event loop never waits for the statement.
  void ExecuteSQL(ClientSession& session, std::string_view sql) override;
  void SaveLogs() override;
  std::string ServerReport() override;
  // Counts the whole journal on the session's worker first when a count is due.
  void WithCopies(ClientSession& session, CopiesReady then) override;
  std::string ClientsReport(const std::vector<CopyStatus>& copies) override;
  void CheckTable(ClientSession& session, int copy, std::string_view table, bool repair) override;

 private:
  ReplicationServer& server_;
  Logger& logs_;
  std::function<ServerReportValues()> report_values_;
};

}  // namespace tramolin
