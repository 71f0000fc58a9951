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
class ReplicationData;
class ReplicationServer;

class ServerTechnicianPort : public TechnicianServerPort {
 public:
  // `data` gives the data engine, or nullptr while none is attached; `report_values` the
  // program's values for the server report. References must outlive the port.
  ServerTechnicianPort(ReplicationServer& server, Logger& logs,
                       std::function<ReplicationData*()> data,
                       std::function<ServerReportValues()> report_values);

  void SendCommandPacket(int slot, std::string_view payload) override;
  void SetSlotLogging(int slot, bool on) override;
  void CloseSlot(int slot) override;
  std::string ExecuteSQL(std::string_view sql) override;
  void SaveLogs() override;
  std::string ServerReport() override;
  std::string ClientsReport() override;

 private:
  ReplicationServer& server_;
  Logger& logs_;
  std::function<ReplicationData*()> data_;
  std::function<ServerReportValues()> report_values_;
};

}  // namespace tramolin
