#include "shell/server_technician_port.h"

#include <QPointer>

#include "engine/replication_data.h"
#include "engine/table_catalogue.h"
#include "protocol/packet_types.h"
#include "protocol/payloads.h"
#include "server/replication_server.h"
#include "shell/logger.h"
#include "util/cp1250.h"
#include "util/fields.h"

namespace tramolin {

ServerTechnicianPort::ServerTechnicianPort(ReplicationServer& server, Logger& logs,
                                           std::function<ServerReportValues()> report_values)
    : server_(server), logs_(logs), report_values_(std::move(report_values)) {}

int ServerTechnicianPort::SlotIndexOf(const ClientSession& session) {
  return server_.IndexOf(session);
}

void ServerTechnicianPort::SendCommandPacket(ClientSession& session, std::string_view payload) {
  session.Send(pkPolecenie, payload, server_.Host().Closing());
}

void ServerTechnicianPort::SetSlotLogging(ClientSession& session, bool on) {
  session.Slot().Nasluch = on;
}

void ServerTechnicianPort::CloseSlot(int slot) { server_.CloseSlot(slot, true); }

void ServerTechnicianPort::ExecuteSQL(ClientSession& session, std::string_view sql) {
  WorkerPool* workers = server_.Workers();
  if (workers == nullptr) {
    SendCommandPacket(session, BuildCommandReply("Brak połączenia z bazą danych"_cp));
    return;
  }
  session.RunJob<std::string>(
      *workers, {server_.IndexOf(session), -1, -1},
      [statement = std::string(sql)](ReplicationData& data, HostServices&) {
        std::string answer;
        data.ExecuteSQL(statement, answer);
        return answer;
      },
      [this, &session](std::string answer, JobReport) {
        SendCommandPacket(session, BuildCommandReply(answer));
      });
}

void ServerTechnicianPort::SaveLogs() {
  logs_.SaveFullLog(true);
  logs_.SaveLog(true);
}

std::string ServerTechnicianPort::ServerReport() {
  return tramolin::ServerReport(report_values_());
}

void ServerTechnicianPort::WithCopies(ClientSession& session, CopiesReady then) {
  WorkerPool* workers = server_.Workers();
  if (workers == nullptr || !server_.Fleet().CountDue(server_.Host().Now())) {
    then(server_.Copies());
    return;
  }
  session.RunJob<std::optional<std::vector<CopyBacklog>>>(
      *workers, {server_.IndexOf(session), -1, -1},
      [](ReplicationData& data, HostServices&) { return data.CountBacklogs(); },
      [this, then = std::move(then)](std::optional<std::vector<CopyBacklog>> copies, JobReport) {
        if (copies) server_.Fleet().Counted(*copies, server_.Host().Now());
        then(server_.Copies());
      });
}

namespace {

// A replicated table by its name or its journal number.
std::optional<std::int32_t> TableNamed(std::string_view text) {
  if (const std::optional<std::int32_t> number = TableNumber(text)) return number;
  try {
    const std::int32_t number = ParseInt32(text);
    if (const TTableInfo* table = TableInfo(number); table != nullptr && table->IsUsable()) {
      return number;
    }
  } catch (const ConversionError&) {
  }
  return std::nullopt;
}

}  // namespace

void ServerTechnicianPort::CheckTable(ClientSession& session, int copy, std::string_view table,
                                      bool repair) {
  const std::optional<std::int32_t> number = TableNamed(table);
  ClientSession* copy_session = server_.CopySession(copy);
  std::optional<std::string> refusal;
  if (!number) {
    refusal = "nieznana tabela "_cp + std::string(table);
  } else if (copy_session == nullptr) {
    refusal = "kopia nr "_cp + std::to_string(copy) + " nie jest połączona"_cp;
  } else {
    const QPointer<ClientSession> asking(&session);
    refusal = server_.Checks().Start(
        *copy_session, *number, repair, [this, asking](const TableCheckResult& result) {
          if (!asking.isNull() && !server_.Host().Closing()) {
            SendCommandPacket(*asking, BuildCommandReply(TableCheckReport(result)));
          }
        });
  }
  if (refusal)
    SendCommandPacket(session, BuildCommandReply("Porównanie niemożliwe: "_cp + *refusal));
}

std::string ServerTechnicianPort::ClientsReport(const std::vector<CopyStatus>& copies) {
  return tramolin::ClientsReport(*server_.Clients(), copies, report_values_().Now);
}

}  // namespace tramolin
