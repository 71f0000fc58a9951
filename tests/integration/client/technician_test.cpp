// A technician's client logged in to a real server: every command of the list goes out and each
// answer the server gives comes back into the technician's log.
#include <gtest/gtest.h>

#include "client_harness.h"
#include "protocol/payloads.h"
#include "server/technician_commands.h"
#include "shell/logger.h"
#include "shell/server_technician_port.h"

namespace tramolin::testing {
namespace {

class TechnicianTest : public ClientServerFixture {
 protected:
  void SetUp() override {
    ClientServerFixture::SetUp();
    server_.SetTechnicianSink(&commands_);
    client_.AttachDatabase(nullptr);
    Configure([](ClientSettings& s) { s.technician = true; });
    client_.SetCredentials({-1, 0, "", "", "2.1.5.7", true, false});
    client_.Link().tmrKConnectTimer();
    ASSERT_TRUE(WaitForState(kClientLoggedIn));
  }
  // Sends the command and waits until the technician's log has grown by `answers` lines.
  bool Command(int code, std::string_view argument, std::size_t answers = 1) {
    const std::size_t before = client_host_.lines.size();
    if (!client_.SendTechnicianCommand(BuildCommand(code, argument))) return false;
    return RunUntil([&] { return client_host_.lines.size() >= before + answers; });
  }
  bool Logged(std::string_view text) const {
    for (const LogLine& line : client_host_.lines) {
      if (line.text.find(text) != std::string::npos) return true;
    }
    return false;
  }

  Logger logs_{Dir(), ProcessKind::kServiceWithoutWindow, [] { return 45123.5; }};
  ServerTechnicianPort port_{server_, logs_, [] { return ServerReportValues{}; }};
  TechnicianCommands commands_{host_, port_};
};

TEST_F(TechnicianTest, EveryCommandIsSentAndItsAnswerLogged) {
  EXPECT_FALSE(client_.tmrKReplikuj.isActive()) << "a technician never synchronises";
  ASSERT_TRUE(Command(kCommandServerStatus, ""));
  EXPECT_TRUE(Logged("AsService: "));
  ASSERT_TRUE(Command(kCommandClientsStatus, ""));
  EXPECT_TRUE(Logged("Raport dotyczący aktywnych klientów:"_cp));
  ASSERT_TRUE(Command(kCommandLogForwardingOn, ""));
  EXPECT_TRUE(Logged("Nasłuch włączony"_cp));
  ASSERT_TRUE(Command(kCommandExecuteSql, "SELECT COUNT(*) FROM REPKOPIE"));
  EXPECT_TRUE(Logged("[RC=1] \"2\""));
  ASSERT_TRUE(Command(kCommandLogForwardingOff, ""));
  EXPECT_TRUE(Logged("Nasłuch wyłączony"_cp));
  ASSERT_TRUE(Command(kCommandSendMessage, "Dzień dobry"_cp, 0));
  ASSERT_TRUE(RunUntil([&] { return host_.CountLines("Dzień dobry"_cp) == 1; }));
  ASSERT_TRUE(Command(kCommandSaveLogs, "", 0));
  ASSERT_TRUE(Command(kCommandReserved, ""));
  EXPECT_TRUE(Logged("polecenie nieobsługiwane"_cp));
  ASSERT_TRUE(Command(kCommandRemoveClient, "0"));  // its own slot
  EXPECT_TRUE(WaitForLine("Rozłączono z serwerem (127.0.0.1, "_cp));
  EXPECT_TRUE(!server_.HasClients());
}

}  // namespace
}  // namespace tramolin::testing
