#include "server/technician_commands.h"

#include <cstdint>

#include "protocol/packet_types.h"
#include "protocol/payloads.h"
#include "server/server_reports.h"
#include "util/cp1250.h"
#include "util/fields.h"
#include "util/log_level.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

enum TechnicianCommand : int {
  kSendMessage = 0,
  kServerStatus = 1,
  kClientsStatus = 2,
  kLoggingOn = 3,
  kLoggingOff = 4,
  kSaveLog = 5,
  kRemoveClient = 6,
  kExecuteSql = 7,
  kUnsupported = 8,
  kCopiesStatus = kCommandCopiesStatus,
  kCheckTable = kCommandCheckTable,
};

constexpr std::string_view kRepairWord = "napraw";

// The next field as an integer; -1 when it is not one. The field is consumed either way.
int IntFieldOrMinusOne(std::string_view& rest) {
  const std::string_view field = NextField(rest);
  try {
    return ParseInt32(field);
  } catch (const ConversionError&) {
    return -1;
  }
}

// Client numbers in the log count from 1; a 64-bit sum keeps the largest index readable.
std::string ClientNumber(int index) { return std::to_string(std::int64_t{index} + 1); }

}  // namespace

const std::array<std::string_view, kTechnicianCommandCount> kTechnicianCommandNames = {
    "Wyślij wiadomość"_cp, "Podaj status serwera"_cp, "Podaj status klientów"_cp,
    "Włącz nasłuch"_cp,    "Wyłącz nasłuch"_cp,       "Zapisz log"_cp,
    "Usuń klienta"_cp,     "Wykonaj SQL"_cp};

bool ForwardsLogLine(bool server_mode, bool has_slots, int level, bool closing) {
  return server_mode && has_slots && level != kLogStatus && level != kLogRecord && !closing;
}

bool ListensToLog(const TKlientInfo& slot) {
  return slot.Nasluch && slot.Autoryzowany && slot.Serwisant == 1;
}

std::string ForwardedLogPayload(std::string_view text, int level) {
  return "0; Serwer: [" + std::to_string(level) + "] " + std::string(text);
}

TechnicianCommands::TechnicianCommands(HostServices& host, TechnicianServerPort& server)
    : host_(host), server_(server) {}

void TechnicianCommands::HandleCommand(ClientSession& session, const std::string& payload) {
  std::string_view rest = payload;
  const int code = IntFieldOrMinusOne(rest);
  switch (code) {
    case kSendMessage:
      return SendMessage(rest);
    case kServerStatus:
      LogRequest("Żądanie podania statusu od klienta nr "_cp, session);
      return Reply(session, server_.ServerReport());
    case kClientsStatus:
      LogRequest("Żądanie podania statusu klientów od klienta nr "_cp, session);
      return server_.WithCopies(session, [this, &session](const std::vector<CopyStatus>& copies) {
        Reply(session, server_.ClientsReport(copies));
      });
    case kCheckTable:
      return CheckTable(session, rest);
    case kCopiesStatus:
      return server_.WithCopies(session, [this, &session](const std::vector<CopyStatus>& copies) {
        Reply(session, CopiesStatusReply(copies));
      });
    case kLoggingOn:
      return SetLogging(session, true);
    case kLoggingOff:
      return SetLogging(session, false);
    case kSaveLog:
      LogRequest("Żądanie zapisu pliku log od klienta nr "_cp, session);
      return server_.SaveLogs();
    case kRemoveClient:
      return RemoveClient(session, rest);
    case kExecuteSql:
      return server_.ExecuteSQL(session, NextField(rest));
    case kUnsupported:
      return Reply(session, "polecenie nieobsługiwane"_cp);
    default:
      return Unknown(code, session, rest);
  }
}

void TechnicianCommands::LogRequest(std::string_view request, ClientSession& session) {
  host_.Log(std::string(request) + ClientNumber(server_.SlotIndexOf(session)), kLogProgress);
}

void TechnicianCommands::Reply(ClientSession& session, std::string_view text) {
  server_.SendCommandPacket(session, BuildCommandReply(text));
}

void TechnicianCommands::SendMessage(std::string_view rest) {
  host_.Log(LoggablePeerText(NextField(rest)), kLogProgress);
}

void TechnicianCommands::SetLogging(ClientSession& session, bool on) {
  LogRequest(on ? "Żądanie włączenia logowania dla klienta nr "_cp
                : "Żądanie wyłączenia logowania dla klienta nr "_cp,
             session);
  server_.SetSlotLogging(session, on);
  Reply(session, on ? "Nasłuch włączony"_cp : "Nasłuch wyłączony"_cp);
}

void TechnicianCommands::RemoveClient(ClientSession& session, std::string_view rest) {
  const int target = IntFieldOrMinusOne(rest);
  host_.Log("Żądanie usunięcia klienta nr "_cp + ClientNumber(target) + " od klienta nr " +
                ClientNumber(server_.SlotIndexOf(session)) + ", usuwanie ...",
            kLogProgress);
  server_.CloseSlot(target);
}

void TechnicianCommands::CheckTable(ClientSession& session, std::string_view rest) {
  const int copy = IntFieldOrMinusOne(rest);
  const std::string_view table = NextField(rest);
  const bool repair = NextField(rest) == kRepairWord;
  host_.Log(Concat({"Żądanie porównania tabeli "_cp, LoggablePeerText(table), " z kopią "_cp,
                    std::to_string(copy), repair ? std::string_view(" i naprawy") : "",
                    " od klienta nr ", ClientNumber(server_.SlotIndexOf(session))}),
            kLogProgress);
  server_.CheckTable(session, copy, table, repair);
}

void TechnicianCommands::Unknown(int code, ClientSession& session, std::string_view rest) {
  host_.Log("Nieznane polecenie [" + std::to_string(code) + "] \"" +
                LoggablePeerText(NextField(rest)) + "\" od klienta nr " +
                ClientNumber(server_.SlotIndexOf(session)),
            kLogProgress);
}

}  // namespace tramolin
