// The client's connection without a database (a technician's): the order in which addresses are
// tried, the saved looked-up address, the reply time-out, on-demand mode, the "Rozłącz / połącz"
// action, a technician's commands and the server's answers, and a go-ahead out of turn.
#include <gtest/gtest.h>

#include <QTcpServer>

#include "client_harness.h"
#include "util/text_rules.h"

namespace tramolin::testing {
namespace {

// Answers every lookup with the address it holds, on the next pass of the event loop.
class ScriptedLookup final : public ServerAddressLookup {
 public:
  void LookUp(std::function<void(std::optional<LookedUpAddress>)> done) override {
    ++calls;
    QTimer::singleShot(0, [done, found = address] { done(found); });
  }
  std::optional<LookedUpAddress> address;
  int calls = 0;
};

// A loopback port on which nobody listens.
quint16 ClosedPort() {
  QTcpServer probe;
  return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

class ServerLinkTest : public ::testing::Test {
 protected:
  ServerLinkTest() {
    host_.server_mode = false;
    server_.listen(QHostAddress::LocalHost, 0);
    client_.SetAddressLookup(&lookup_);
    client_.SetHooks({nullptr, nullptr,
                      [this](const std::string& h, int p) { saved_ = h + ":" + std::to_string(p); },
                      nullptr, nullptr});
  }
  void Configure(ServerAddresses addresses, bool on_demand = false) {
    ClientSettings settings;
    settings.addresses = std::move(addresses);
    settings.technician = true;
    settings.on_demand = on_demand;
    client_.Configure(settings);
    client_.SetCredentials({0, 0, "", "", "2.1.5.7", true, false});
  }
  // Attempts until the connection stands or the client pauses for a minute.
  void Attempt() {
    client_.Link().tmrKConnectTimer();
    RunUntil([&] {
      return client_.ActivityState() == kClientConnected || client_.tmrKConnect.isActive();
    });
  }
  int Lines(std::string_view prefix) const { return host_.CountLines(prefix); }
  std::string Port(quint16 port) const { return std::to_string(port); }

  RecordingHost host_;
  ReplicationClient client_{host_};
  ScriptedLookup lookup_;
  QTcpServer server_;
  std::string saved_;
};

TEST_F(ServerLinkTest, PrimaryThenAlternativeThenAMinutesPauseBeforeThePrimaryAgain) {
  const quint16 closed = ClosedPort();
  Configure({"127.0.0.1", closed, "localhost", closed, ""});
  Attempt();
  EXPECT_EQ(Lines("Nie udało się nawiązać połączenia z serwerem (CS.Tag = 0) 127.0.0.1:"_cp +
                  Port(closed) + ", kod: "),
            1);
  EXPECT_EQ(client_.Link().Tag(), AddressSource::kAlternative);
  EXPECT_EQ(client_.tmrKConnect.interval(), 250);
  Attempt();
  EXPECT_EQ(Lines("Nie udało się nawiązać połączenia z serwerem (CS.Tag = 2) localhost:"_cp), 1);
  EXPECT_EQ(client_.Link().Tag(), AddressSource::kPrimary);
  EXPECT_EQ(client_.tmrKConnect.interval(), 60'000);
  EXPECT_EQ(Lines("Następna próba połączenia za: 00:01:00"_cp), 1);
  EXPECT_EQ(lookup_.calls, 0);
}

TEST_F(ServerLinkTest, AnAlternativeEqualToThePrimaryIsNeverTried) {
  const quint16 closed = ClosedPort();
  Configure({"127.0.0.1", closed, "127.0.0.1", server_.serverPort(), ""});
  Attempt();
  EXPECT_EQ(client_.Link().Tag(), AddressSource::kPrimary);
  EXPECT_EQ(client_.tmrKConnect.interval(), 60'000);
}

TEST_F(ServerLinkTest, ALookedUpAddressThatConnectsBecomesTheAlternative) {
  Configure({"127.0.0.1", ClosedPort(), "", 0, "https://adresy.example/dyndns"});
  lookup_.address = LookedUpAddress{"127.0.0.1", server_.serverPort()};
  Attempt();
  EXPECT_EQ(client_.Link().Tag(), AddressSource::kLookedUp);
  Attempt();
  EXPECT_EQ(client_.ActivityState(), kClientConnected);
  EXPECT_EQ(lookup_.calls, 1);
  EXPECT_EQ(saved_, "127.0.0.1:" + Port(server_.serverPort()));
  EXPECT_EQ(client_.Settings().addresses.port2, server_.serverPort());
  EXPECT_TRUE(client_.tmrKTimeOut.isActive());
  EXPECT_EQ(client_.tmrKTimeOut.interval(), 600'000);
}

TEST_F(ServerLinkTest, ALookupWithoutAnswerFallsBackToThePause) {
  Configure({"127.0.0.1", ClosedPort(), "", 0, "https://adresy.example/dyndns"});
  Attempt();
  Attempt();
  EXPECT_EQ(lookup_.calls, 1);
  EXPECT_EQ(client_.Link().Tag(), AddressSource::kPrimary);
  EXPECT_EQ(client_.tmrKConnect.interval(), 60'000);
}

TEST_F(ServerLinkTest, TheReplyTimeOutDropsOnlyAClientWaitingForTheServer) {
  Configure({"127.0.0.1", ClosedPort(), "", 0, ""});
  for (int state = 0; state <= 10; ++state) {
    client_.SetActivityState(state);
    const int before = Lines("Przekroczono limit czasu"_cp);
    client_.Link().tmrKTimeOutTimer();
    const bool waits = state == 2 || state == 3 || state == 5 || state == 9;
    EXPECT_EQ(Lines("Przekroczono limit czasu oczekiwania na serwer replikacji ("_cp +
                    std::string(ClientStateName(state)) + "). Rozłączanie ..."_cp),
              waits ? 1 : 0)
        << state;
    EXPECT_EQ(Lines("Przekroczono limit czasu"_cp) - before, waits ? 1 : 0);
    EXPECT_EQ(client_.ActivityState(), waits ? kClientDisconnected : state);
  }
}

TEST_F(ServerLinkTest, OnDemandALostConnectionIsNotRetried) {
  Configure({"127.0.0.1", server_.serverPort(), "", 0, ""}, true);
  Attempt();
  ASSERT_EQ(client_.ActivityState(), kClientConnected);
  ASSERT_TRUE(RunUntil([&] { return server_.hasPendingConnections(); }));
  delete server_.nextPendingConnection();
  ASSERT_TRUE(RunUntil([&] { return Lines("Rozłączono z serwerem (127.0.0.1, "_cp) == 1; }));
  EXPECT_EQ(client_.ActivityState(), kClientDisconnected);
  EXPECT_FALSE(client_.tmrKConnect.isActive());
  EXPECT_EQ(Lines("Następna próba połączenia za: "_cp), 0);
}

TEST_F(ServerLinkTest, RozlaczPolaczDropsTheConnectionAndTriesAgainSoon) {
  Configure({"127.0.0.1", server_.serverPort(), "", 0, ""});
  Attempt();
  ASSERT_EQ(client_.ActivityState(), kClientConnected);
  client_.Reconnect();
  EXPECT_EQ(Lines("Rozłączono z serwerem (127.0.0.1, "_cp), 1);
  EXPECT_EQ(Lines("Następna próba połączenia za: 00:01:00"_cp), 1);
  EXPECT_EQ(client_.tmrKConnect.interval(), 250);
  EXPECT_TRUE(client_.tmrKConnect.isActive());
}

TEST_F(ServerLinkTest, ATechnicianLogsInWithoutADatabaseAndSendsCommands) {
  Configure({"127.0.0.1", server_.serverPort(), "", 0, ""});
  Attempt();
  ASSERT_TRUE(RunUntil([&] { return server_.hasPendingConnections(); }));
  PacketConnection peer(std::unique_ptr<QTcpSocket>(server_.nextPendingConnection()));
  std::vector<Packet> received;
  QObject::connect(&peer, &PacketConnection::packetReceived,
                   [&](std::uint8_t type, const std::string& payload) {
                     received.push_back({type, payload});
                   });
  peer.SendFrame(BuildPacket(pkPolaczenie, "0", false));
  ASSERT_TRUE(RunUntil([&] { return received.size() == 1; }));
  EXPECT_EQ(received[0].payload, "0;0;;;2.1.5.7;1;119;0;nulls,check;");
  peer.SendFrame(BuildPacket(pkWeryfikacja, "0", false));
  ASSERT_TRUE(RunUntil([&] { return client_.ActivityState() == kClientLoggedIn; }));
  EXPECT_FALSE(client_.tmrKReplikuj.isActive());

  EXPECT_TRUE(client_.SendTechnicianCommand("3;"));
  ASSERT_TRUE(RunUntil([&] { return received.size() == 2; }));
  EXPECT_EQ(received[1].payload, "3;");
  peer.SendFrame(BuildPacket(pkPolecenie, BuildCommandReply("Nasłuch włączony"_cp), false));
  peer.SendFrame(BuildPacket(pkAktywnosc, "", false));
  ASSERT_TRUE(RunUntil([&] { return received.size() == 3; }));
  EXPECT_EQ(received[2].type, pkAktywnoscOdp);
  EXPECT_EQ(Lines("Nasłuch włączony"_cp), 1);

  // A go-ahead the client did not wait for ends the connection.
  peer.SendFrame(BuildPacket(pkGotowosc, "0", false));
  ASSERT_TRUE(RunUntil([&] { return Lines("Nieprawidłowy status klienta (4)"_cp) == 1; }));
  EXPECT_EQ(client_.ActivityState(), kClientDisconnected);
  EXPECT_TRUE(client_.tmrKConnect.isActive());
}

}  // namespace
}  // namespace tramolin::testing
