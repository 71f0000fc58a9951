// Connections to a real server over loopback: the allow list decides by host name or address,
// the loopback address always passes, refused and silent peers are cut off, silent slots are
// swept, and frames arrive whole however the network splits or joins them.
#include <gtest/gtest.h>

#include "server_harness.h"
#include "util/cp1250.h"

namespace tramolin::testing {
namespace {

struct AllowCase {
  const char* name;
  const char* from;  // the peer's loopback address
  const char* host;  // its host name as the resolver answers it
  bool accepted;
};

class AllowListTest : public ServerFixture, public ::testing::WithParamInterface<AllowCase> {};

TEST_P(AllowListTest, PeerIsAcceptedOrRefusedByTheList) {
  const AllowCase& c = GetParam();
  server_.Configure({{"192.168.1.*", "biuro?", "127.0.0.[5-6]"}, {}, {}});
  resolver_.names[c.from] = c.host;
  ScriptedClient& client = Connect(c.from);
  const Packet answer = client.Next();
  EXPECT_EQ(answer.type, pkPolaczenie);
  EXPECT_EQ(answer.payload, c.accepted ? "0" : "1");
  EXPECT_EQ(server_.SlotCount(), c.accepted ? 1U : 0U);
  const std::string peer = std::string(c.host) + "/" + c.from + ":";
  EXPECT_EQ(host_.CountLines("Przychodzące połączenie ("_cp + peer), 1);
  if (c.accepted) {
    EXPECT_EQ(host_.CountLines("Połączenie zaakceptowane ("_cp + peer), 1);
    EXPECT_EQ(idle_stops_, 1);
  } else {
    ASSERT_FALSE(host_.lines.empty());
    EXPECT_TRUE(host_.lines.back().text.ends_with(") - nieznany host"));
    // The refused peer stays silent: the server cuts it off after its grace.
    EXPECT_TRUE(client.WaitClosed(3000));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Peers, AllowListTest,
    ::testing::Values(AllowCase{"HostMaskIgnoresCase", "127.0.0.2", "BIURO1", true},
                      AllowCase{"UnknownHostAndAddress", "127.0.0.3", "serwer", false},
                      AllowCase{"AddressInASet", "127.0.0.6", "", true},
                      AllowCase{"AddressOutsideTheSet", "127.0.0.7", "", false},
                      AllowCase{"QuestionMarkIsOneCharacter", "127.0.0.4", "biuro12", false},
                      AllowCase{"LoopbackAlwaysPasses", "127.0.0.1", "localhost", true}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(ServerFixture, EmptyAllowListAcceptsEveryPeer) {
  ScriptedClient& client = Connect(QStringLiteral("127.0.0.9"));
  EXPECT_EQ(client.Next().payload, "0");
  EXPECT_EQ(server_.SlotCount(), 1U);
  EXPECT_EQ(host_.CountLines("Serwer przyjmuje połączenia z każdego adresu bez klucza dostępu: "
                             "ustaw [Server] AccessKey"_cp),
            1);
}

TEST_F(ServerFixture, SlotThatNeverLogsInIsClosedAfterTheDeadline) {
  server_.SetTimings({0, 300, 200, 10'000});
  ScriptedClient& client = Connect();
  EXPECT_EQ(client.Next().payload, "0");
  EXPECT_TRUE(client.WaitClosed(3000));
  EXPECT_TRUE(!server_.HasClients());
}

TEST_F(ServerFixture, DisconnectionRemovesTheSlotAndRestartsTheIdleTimerWhenNoneIsLeft) {
  ScriptedClient& first = Connect();
  ScriptedClient& second = Connect();
  first.Next();
  second.Next();
  ASSERT_EQ(server_.SlotCount(), 2U);
  first.Socket().disconnectFromHost();
  ASSERT_TRUE(RunUntil([this] { return server_.SlotCount() == 1; }));
  EXPECT_TRUE(idle_restarts_.empty());
  const std::string gone = host_.lines.back().text;
  EXPECT_TRUE(gone.starts_with("Klient ") &&
              gone.find(" przerywa połączenie (/127.0.0.1:"_cp) != std::string::npos)
      << gone;
  second.Socket().disconnectFromHost();
  ASSERT_TRUE(RunUntil([this] { return !server_.HasClients(); }));
  EXPECT_EQ(idle_restarts_, std::vector<int>{780000});
}

TEST_F(ServerFixture, SweepRemovesASlotSilentForOverAnHourAndKeepsARecentOne) {
  ScriptedClient& silent = LoggedIn(GoodAuth(1));
  ScriptedClient& recent = LoggedIn(GoodAuth(2));
  TAUTHData technician = GoodAuth(3);
  technician.Serwisant = true;
  ScriptedClient& silent_technician = LoggedIn(technician);
  ASSERT_EQ(server_.SlotCount(), 3U);
  host_.now = 45200.0;
  server_.SessionAt(0)->Slot().OstAktyw = host_.now - 61.0 / 1440;
  server_.SessionAt(1)->Slot().OstAktyw = host_.now - 59.0 / 1440;
  server_.SessionAt(2)->Slot().OstAktyw = host_.now - 61.0 / 1440;
  server_.tmrZombieTimer();
  EXPECT_TRUE(silent_technician.WaitClosed());
  ASSERT_EQ(server_.SlotCount(), 1U);
  EXPECT_EQ(server_.SessionAt(0)->Slot().DBNR, 2);
  EXPECT_EQ(host_.CountLines("Brak aktywności klienta 1 (> 01:00:00) usuwam klienta."_cp), 1);
  EXPECT_TRUE(silent.WaitClosed());
  EXPECT_FALSE(recent.closed);
  EXPECT_TRUE(server_.tmrZombie.isActive());
  EXPECT_EQ(server_.tmrZombie.interval(), 900000);
}

TEST_F(ServerFixture, FrameArrivingOneByteAtATimeIsTakenWhole) {
  ScriptedClient& client = Connect();
  ASSERT_EQ(client.Next().payload, "0");
  const std::string frame = BuildPacket(pkAutoryzacja, BuildAuthData(GoodAuth()), false);
  for (const char byte : frame) {
    client.Socket().write(&byte, 1);
    client.Socket().flush();
    RunFor(1);
  }
  const Packet verdict = client.Next();
  EXPECT_EQ(verdict.type, pkWeryfikacja);
  EXPECT_EQ(verdict.payload, "0");
}

TEST_F(ServerFixture, TwoFramesInOneReadAreBothAnswered) {
  ScriptedClient& client = LoggedIn(GoodAuth());
  const std::string frame = BuildPacket(pkAktywnosc, "", false);
  client.Socket().write(QByteArray::fromStdString(frame + frame));
  EXPECT_EQ(client.Next().type, pkAktywnoscOdp);
  EXPECT_EQ(client.Next().type, pkAktywnoscOdp);
  EXPECT_EQ(host_.CountLines("Wysyłanie sygnału aktywności do klienta nr 1"_cp), 2);
}

TEST_F(ServerFixture, ACorruptFrameIsLoggedAsAnUncaughtErrorAndTheConnectionStays) {
  ScriptedClient& client = LoggedIn(GoodAuth());
  client.Socket().write(QByteArray("\x09;8;AAAAAAAA", 12));
  client.Send(pkAktywnosc, "");
  EXPECT_EQ(client.Next().type, pkAktywnoscOdp);
  EXPECT_EQ(host_.CountLines("Application.Exception SS tramolin::CorruptPayloadError \"error\""),
            1);
}

TEST_F(ServerFixture, OverflowIsReportedAndTheSlotClosed) {
  ScriptedClient& client = Connect();
  ASSERT_EQ(client.Next().payload, "0");
  client.Socket().write(QByteArray("\x02;x1;abc", 8));
  const Packet report = client.Next();
  EXPECT_EQ(report.type, pkBlad);
  EXPECT_EQ(report.payload, "4;");
  EXPECT_TRUE(client.WaitClosed());
  EXPECT_TRUE(!server_.HasClients());
  EXPECT_EQ(host_.CountLines("Przepełenienie przy odbieraniu danych od klienta nr 0"_cp), 1);
}

}  // namespace
}  // namespace tramolin::testing
