// The technician's commands: the payload the technician's client sends, the server's log line and
// reply for every code, and which log lines reach which technicians.
#include "server/technician_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/recording_host.h"
#include "protocol/payloads.h"
#include "server/client_session.h"
#include "util/cp1250.h"

namespace tramolin::testing {
namespace {

// Five technicians' sessions in slots 0-4. Records every call as one line of text (UTF-8) and
// answers with fixed texts.
class RecordingPort : public TechnicianServerPort {
 public:
  RecordingPort() {
    for (int i = 0; i < 5; ++i)
      sessions.push_back(std::make_unique<ClientSession>(nullptr, PeerInfo{}, 0));
  }
  ClientSession& Session(int slot) { return *sessions[static_cast<std::size_t>(slot)]; }

  int SlotIndexOf(const ClientSession& session) override {
    for (std::size_t i = 0; i < sessions.size(); ++i) {
      if (sessions[i].get() == &session) return static_cast<int>(i);
    }
    return -1;
  }
  void SendCommandPacket(ClientSession& session, std::string_view payload) override {
    Record("send " + std::to_string(SlotIndexOf(session)) + " " + Cp1250ToUtf8(payload));
  }
  void SetSlotLogging(ClientSession& session, bool on) override {
    Record("logging " + std::to_string(SlotIndexOf(session)) + (on ? " on" : " off"));
  }
  void CloseSlot(int slot) override { Record("close " + std::to_string(slot)); }
  void ExecuteSQL(ClientSession& session, std::string_view sql) override {
    Record("sql " + std::string(sql));
    SendCommandPacket(session, "0;wynik");
  }
  void SaveLogs() override { Record("save logs"); }
  std::string ServerReport() override { return "raport serwera\r\n"; }
  void WithCopies(ClientSession&, CopiesReady then) override {
    Record("copies");
    then({CopyStatus{3, "Sklep", 5, 0, "", 60, true, "", ""}});
  }
  void CheckTable(ClientSession&, int copy, std::string_view table, bool repair) override {
    Record("check " + std::to_string(copy) + " " + std::string(table) + (repair ? " repair" : ""));
  }
  std::string ClientsReport(const std::vector<CopyStatus>& copies) override {
    return Utf8ToCp1250("raport klientów i " + std::to_string(copies.size()) + " kopii\r\n");
  }

  std::vector<std::string> calls;
  std::vector<std::unique_ptr<ClientSession>> sessions;

 private:
  void Record(std::string call) { calls.push_back(std::move(call)); }
};

struct CommandCase {
  int slot;
  std::string payload;
  std::vector<std::string> log;  // UTF-8, every line at level 4
  std::vector<std::string> calls;
};

class TechnicianCommandsTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(TechnicianCommandsTest, LogsAndAnswers) {
  const CommandCase& c = GetParam();
  RecordingHost host;
  RecordingPort port;
  TechnicianCommands commands(host, port);
  commands.HandleCommand(port.Session(c.slot), Utf8ToCp1250(c.payload));

  std::vector<std::string> log;
  for (const LogLine& line : host.lines) {
    EXPECT_EQ(line.level, kLogProgress) << line.text;
    log.push_back(Cp1250ToUtf8(line.text));
  }
  EXPECT_EQ(log, c.log);
  EXPECT_EQ(port.calls, c.calls);
}

INSTANTIATE_TEST_SUITE_P(
    EveryCode, TechnicianCommandsTest,
    ::testing::Values(
        CommandCase{0, "0;Dzień dobry;reszta;", {"Dzień dobry"}, {}},
        CommandCase{
            2, "1;", {"Żądanie podania statusu od klienta nr 3"}, {"send 2 0;raport serwera\r\n"}},
        CommandCase{0,
                    "2;",
                    {"Żądanie podania statusu klientów od klienta nr 1"},
                    {"copies", "send 0 0;raport klientów i 1 kopii\r\n"}},
        CommandCase{1,
                    "3;",
                    {"Żądanie włączenia logowania dla klienta nr 2"},
                    {"logging 1 on", "send 1 0;Nasłuch włączony"}},
        CommandCase{1,
                    "4;",
                    {"Żądanie wyłączenia logowania dla klienta nr 2"},
                    {"logging 1 off", "send 1 0;Nasłuch wyłączony"}},
        CommandCase{0, "5;", {"Żądanie zapisu pliku log od klienta nr 1"}, {"save logs"}},
        CommandCase{3,
                    "6;0;",
                    {"Żądanie usunięcia klienta nr 1 od klienta nr 4, usuwanie ..."},
                    {"close 0"}},
        CommandCase{1,
                    "7;SELECT 1 FROM RDB$DATABASE; SELECT 2",
                    {},
                    {"sql SELECT 1 FROM RDB$DATABASE", "send 1 0;wynik"}},
        CommandCase{4, "8;", {}, {"send 4 0;polecenie nieobsługiwane"}},
        CommandCase{1,
                    "21;2;TOWARY;napraw;",
                    {"Żądanie porównania tabeli TOWARY z kopią 2 i naprawy od klienta nr 2"},
                    {"check 2 TOWARY repair"}},
        CommandCase{0,
                    "21;x;29",
                    {"Żądanie porównania tabeli 29 z kopią -1 od klienta nr 1"},
                    {"check -1 29"}},
        CommandCase{
            0, "20;", {}, {"copies", "send 0 0;Stan kopii:\r\n3\t5\t0\t\t60\t1\tSklep\t\r\n"}}));

// The index goes to the server as sent; the server leaves slots it does not have alone.
INSTANTIATE_TEST_SUITE_P(
    RemoveClientIndex, TechnicianCommandsTest,
    ::testing::Values(CommandCase{0,
                                  "6;9;",
                                  {"Żądanie usunięcia klienta nr 10 od klienta nr 1, usuwanie ..."},
                                  {"close 9"}},
                      CommandCase{0,
                                  "6;x;",
                                  {"Żądanie usunięcia klienta nr 0 od klienta nr 1, usuwanie ..."},
                                  {"close -1"}},
                      CommandCase{
                          0,
                          "6;2147483647;",
                          {"Żądanie usunięcia klienta nr 2147483648 od klienta nr 1, usuwanie ..."},
                          {"close 2147483647"}},
                      CommandCase{2,
                                  "6;2;",
                                  {"Żądanie usunięcia klienta nr 3 od klienta nr 3, usuwanie ..."},
                                  {"close 2"}}));

INSTANTIATE_TEST_SUITE_P(
    UnknownCodes, TechnicianCommandsTest,
    ::testing::Values(
        CommandCase{0, "-1;abc;", {"Nieznane polecenie [-1] \"abc\" od klienta nr 1"}, {}},
        CommandCase{1, "9;x;y;", {"Nieznane polecenie [9] \"x\" od klienta nr 2"}, {}},
        CommandCase{0, "abc;def;", {"Nieznane polecenie [-1] \"def\" od klienta nr 1"}, {}},
        CommandCase{0, "", {"Nieznane polecenie [-1] \"\" od klienta nr 1"}, {}},
        CommandCase{0, "99999999999;", {"Nieznane polecenie [-1] \"\" od klienta nr 1"}, {}}));

TEST(TechnicianCommandPayloadTest, CodeThenTextWhenThereIsOne) {
  const std::vector<std::tuple<int, std::string, std::string>> cases = {
      {6, "2", "6;2;"}, {1, "", "1;"}, {-1, "", "-1;"}, {7, "SELECT 1", "7;SELECT 1;"}};
  for (const auto& [code, text, payload] : cases) {
    EXPECT_EQ(BuildCommand(code, text), payload) << code;
  }
}

TEST(TechnicianCommandPayloadTest, ServerReadsWhatTheClientSends) {
  RecordingHost host;
  RecordingPort port;
  TechnicianCommands(host, port).HandleCommand(port.Session(0), BuildCommand(6, "2"));
  EXPECT_EQ(port.calls, std::vector<std::string>{"close 2"});
}

TEST(TechnicianCommandNamesTest, EightItemsWhosePositionIsTheCode) {
  const std::vector<std::string> expected = {
      "Wyślij wiadomość", "Podaj status serwera", "Podaj status klientów", "Włącz nasłuch",
      "Wyłącz nasłuch",   "Zapisz log",           "Usuń klienta",          "Wykonaj SQL"};
  std::vector<std::string> names;
  names.reserve(kTechnicianCommandNames.size());
  for (std::string_view name : kTechnicianCommandNames) names.push_back(Cp1250ToUtf8(name));
  EXPECT_EQ(names, expected);
}

TEST(LogForwardingTest, EveryLevelButStatusAndRecordLinesWhileServing) {
  for (int level = 1; level <= 8; ++level) {
    const bool forwarded = level != kLogStatus && level != kLogRecord;
    EXPECT_EQ(ForwardsLogLine(true, true, level, false), forwarded) << level;
    EXPECT_FALSE(ForwardsLogLine(false, true, level, false)) << level;
    EXPECT_FALSE(ForwardsLogLine(true, false, level, false)) << level;
    EXPECT_FALSE(ForwardsLogLine(true, true, level, true)) << level;
  }
}

TEST(LogForwardingTest, OnlyListeningLoggedInTechniciansReceive) {
  struct Case {
    bool nasluch;
    bool autoryzowany;
    std::int32_t serwisant;
    bool receives;
  };
  for (const Case& c : {Case{true, true, 1, true}, Case{true, true, 0, false},
                        Case{false, true, 1, false}, Case{true, false, 1, false}}) {
    TKlientInfo slot;
    slot.Nasluch = c.nasluch;
    slot.Autoryzowany = c.autoryzowany;
    slot.Serwisant = c.serwisant;
    EXPECT_EQ(ListensToLog(slot), c.receives) << c.nasluch << c.autoryzowany << c.serwisant;
  }
}

TEST(LogForwardingTest, PayloadNamesTheLevel) {
  EXPECT_EQ(ForwardedLogPayload("Start", 4), "0; Serwer: [4] Start");
}

}  // namespace
}  // namespace tramolin::testing
