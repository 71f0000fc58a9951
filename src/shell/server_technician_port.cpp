#include "shell/server_technician_port.h"

#include "engine/replication_data.h"
#include "protocol/packet_types.h"
#include "server/replication_server.h"
#include "shell/logger.h"
#include "util/cp1250.h"

namespace tramolin {

ServerTechnicianPort::ServerTechnicianPort(ReplicationServer& server, Logger& logs,
                                           std::function<ReplicationData*()> data,
                                           std::function<ServerReportValues()> report_values)
    : server_(server),
      logs_(logs),
      data_(std::move(data)),
      report_values_(std::move(report_values)) {}

void ServerTechnicianPort::SendCommandPacket(int slot, std::string_view payload) {
  server_.SendPacket(slot, pkPolecenie, payload);
}

void ServerTechnicianPort::SetSlotLogging(int slot, bool on) { server_.SetSlotLogging(slot, on); }

void ServerTechnicianPort::CloseSlot(int slot) { server_.CloseSlot(slot, true); }

std::string ServerTechnicianPort::ExecuteSQL(std::string_view sql) {
  ReplicationData* data = data_();
  if (data == nullptr) return std::string("Brak połączenia z bazą danych"_cp);
  std::string answer;
  data->ExecuteSQL(sql, answer);
  return answer;
}

void ServerTechnicianPort::SaveLogs() {
  logs_.SaveFullLog(true);
  logs_.SaveLog(true);
}

std::string ServerTechnicianPort::ServerReport() {
  return tramolin::ServerReport(report_values_());
}

std::string ServerTechnicianPort::ClientsReport() {
  return tramolin::ClientsReport(server_.Clients, report_values_().Now);
}

}  // namespace tramolin
