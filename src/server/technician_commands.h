// The service technician's commands: the codes and item texts of the technician's command list,
// the payload the technician's client sends, and the server's handling of each command. Replies
// and forwarded log lines are pkPolecenie packets whose payload starts with the code 0.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/host_services.h"
#include "server/client_slot.h"
#include "server/fleet_book.h"
#include "server/technician_sink.h"

namespace tramolin {

// The command list in the technician's window; an item's position is its command code. Code 8
// exists on the server only.
inline constexpr int kTechnicianCommandCount = 8;
extern const std::array<std::string_view, kTechnicianCommandCount> kTechnicianCommandNames;

// Forwarding the server's log to technicians: whether Log forwards a line at all, which slots
// receive it, and the payload "0; Serwer: [<level>] <text>".
bool ForwardsLogLine(bool server_mode, bool has_slots, int level, bool closing);
bool ListensToLog(const TKlientInfo& slot);
std::string ForwardedLogPayload(std::string_view text, int level);

// What the command handler needs from the server: the technician's session, its slot number for
// the log lines, and the slots by the index a technician sends (the server checks it: an index out
// of range changes nothing).
class TechnicianServerPort {
 public:
  virtual ~TechnicianServerPort() = default;

  virtual int SlotIndexOf(const ClientSession& session) = 0;
  // Sends the session a pkPolecenie with the payload.
  virtual void SendCommandPacket(ClientSession& session, std::string_view payload) = 0;
  virtual void SetSlotLogging(ClientSession& session, bool on) = 0;
  // Closes the slot's connection and removes the slot.
  virtual void CloseSlot(int slot) = 0;
  // Sends the session the engine's answer to the statement (its own error and empty-statement
  // texts included) as a reply, once the database has answered.
  virtual void ExecuteSQL(ClientSession& session, std::string_view sql) = 0;
  // The detailed log and the on-screen log written to their files at once.
  virtual void SaveLogs() = 0;
  virtual std::string ServerReport() = 0;
  // Every copy's status, with the journal counted first when a count is due: `then` runs on the
  // event loop once the status is there, and only while the session lives.
  using CopiesReady = std::function<void(const std::vector<CopyStatus>&)>;
  virtual void WithCopies(ClientSession& session, CopiesReady then) = 0;
  virtual std::string ClientsReport(const std::vector<CopyStatus>& copies) = 0;
  // Compares the table (a name or a journal number) with the copy's and, when asked, journals
  // what differs for the copy; replies with the result once the check is over, or at once with
  // the reason it cannot run.
  virtual void CheckTable(ClientSession& session, int copy, std::string_view table,
                          bool repair) = 0;
};

// Executes a technician's pkPolecenie: the first field is the code (-1 when it is not a number),
// the next field its argument. The sending slot is not checked to be a technician's.
class TechnicianCommands : public TechnicianCommandSink {
 public:
  TechnicianCommands(HostServices& host, TechnicianServerPort& server);

  void HandleCommand(ClientSession& session, const std::string& payload) override;

 private:
  void LogRequest(std::string_view request, ClientSession& session);
  void Reply(ClientSession& session, std::string_view text);
  void SendMessage(std::string_view rest);
  void SetLogging(ClientSession& session, bool on);
  void RemoveClient(ClientSession& session, std::string_view rest);
  void CheckTable(ClientSession& session, std::string_view rest);
  void Unknown(int code, ClientSession& session, std::string_view rest);

  HostServices& host_;
  TechnicianServerPort& server_;
};

}  // namespace tramolin
