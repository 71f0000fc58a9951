// A server open to the Internet before anyone has logged in: technicians from afar need the key,
// strangers get small frames and reads, a bounded number of connections and of packets, lines in
// the log they cannot multiply at will, nothing they send is answered before the greeting, a
// malformed authentication is refused at once, and every connection carries TCP keepalive.
#include <gtest/gtest.h>

#include <random>

#include "net/keep_alive.h"
#include "server_harness.h"
#include "util/cp1250.h"

namespace tramolin::testing {
namespace {

class ExposureTest : public ServerFixture {
 protected:
  TAUTHData Technician() const {
    TAUTHData auth = GoodAuth();
    auth.Serwisant = true;
    return auth;
  }
};

TEST_F(ExposureTest, WithoutAKeyTechniciansAreTakenOnlyFromThisComputer) {
  ScriptedClient& afar = Connect(QStringLiteral("127.0.0.3"));
  EXPECT_EQ(LogIn(afar, Technician()), kVerificationAuthFailed);
  EXPECT_TRUE(afar.WaitClosed());
  EXPECT_EQ(host_.CountLines("Odrzucono logowanie serwisanta spoza komputera serwera: ustaw "
                             "[Server] AccessKey"_cp),
            1);
  EXPECT_EQ(LogIn(Connect(), Technician()), kVerificationOk);
  server_.Configure({{}, {}, "klucz"});
  TAUTHData keyed = Technician();
  keyed.Reserved = "klucz";
  EXPECT_EQ(LogIn(Connect(QStringLiteral("127.0.0.3")), keyed), kVerificationOk);
}

TEST_F(ExposureTest, BeforeLoginOnlySmallFramesAndAfterItTheFullSize) {
  const std::string big = "0;" + std::string(kPreLoginFrameLimit * 2, 'x');
  ScriptedClient& stranger = Connect();
  ASSERT_EQ(stranger.Next().type, pkPolaczenie);
  EXPECT_EQ(server_.SessionAt(0)->Connection()->Socket().readBufferSize(), kPreLoginFrameLimit);
  stranger.Send(pkAutoryzacja, big);
  EXPECT_EQ(stranger.Next().payload, "4;");
  EXPECT_TRUE(stranger.WaitClosed());
  ScriptedClient& client = LoggedIn(GoodAuth());
  EXPECT_EQ(server_.SessionAt(0)->Connection()->Socket().readBufferSize(), 0);
  client.Send(pkAktywnosc, big);
  EXPECT_EQ(client.Next().type, pkAktywnoscOdp);
}

// Past the bound of corrupt frames, of packets needing a login, of bytes that do not compress.
TEST_F(ExposureTest, AStrangerThatGoesOnSendingIsClosedAndItsLinesAreWrittenOnce) {
  std::string noise(50'000, ' ');
  std::mt19937 chars(7);
  for (char& c : noise) c = static_cast<char>('!' + chars() % 90);
  const std::pair<std::string, int> floods[] = {
      {std::string("\x09;8;AAAAAAAA", 12), PreLoginGate::kPacketsBeforeLogin + 1},
      {BuildPacket(pkAktywnosc, "", false), PreLoginGate::kPacketsBeforeLogin + 1},
      {BuildPacket(pkAktywnosc, noise, false), 6}};
  ASSERT_LT(floods[2].first.size(), kPreLoginFrameLimit);
  for (const auto& [frame, count] : floods) {
    ScriptedClient& stranger = Connect();
    ASSERT_EQ(stranger.Next().type, pkPolaczenie);
    for (int i = 0; i < count; ++i)
      stranger.Socket().write(frame.data(), static_cast<qint64>(frame.size()));
    EXPECT_TRUE(stranger.WaitClosed()) << count;
  }
  EXPECT_EQ(host_.CountLines("Application.Exception SS"), 1);
  EXPECT_EQ(host_.CountLines("Pominięto pakiet typu 9"_cp), 1);
  EXPECT_EQ(host_.CountLines("Klient nr 1 przysłał za dużo danych przed zalogowaniem"_cp), 1);
}

TEST_F(ExposureTest, ConnectionsNotLoggedInAreBoundedPerAddress) {
  for (int i = 0; i < PreLoginGate::kPerAddress; ++i) {
    ASSERT_EQ(Connect(QStringLiteral("127.0.0.5")).Next().type, pkPolaczenie);
  }
  ScriptedClient& one_too_many = Connect(QStringLiteral("127.0.0.5"));
  EXPECT_TRUE(one_too_many.WaitClosed());
  EXPECT_TRUE(one_too_many.received.empty());
  EXPECT_EQ(host_.CountLines("Odrzucono połączenie z adresu 127.0.0.5: za dużo"_cp), 1);
  EXPECT_EQ(server_.SS->listenBacklogSize(), 1024);
  EXPECT_EQ(LogIn(Connect(QStringLiteral("127.0.0.6")), GoodAuth()), kVerificationOk);
}

TEST_F(ExposureTest, AnAuthenticationBeforeTheGreetingIsAnsweredAfterIt) {
  server_.SetTimings({300, 300, 60'000, 2000});
  ScriptedClient& client = Connect();
  ASSERT_TRUE(client.Socket().waitForConnected(1000));
  client.Send(pkAutoryzacja, BuildAuthData(GoodAuth()));
  EXPECT_EQ(client.Next().type, pkPolaczenie);
  EXPECT_EQ(client.Next().type, pkWeryfikacja);
}

// A stranger naming a copy that is logged in takes over its slot while the database checks it;
// what it sent after the authentication must wait for the verdict all the same.
TEST_F(ExposureTest, PacketsSentWithAnAuthenticationWaitForItsVerdict) {
  LoggedIn(GoodAuth());
  ScriptedClient& stranger = Connect(QStringLiteral("127.0.0.3"));
  ASSERT_TRUE(stranger.Socket().waitForConnected(1000));
  TAUTHData forged = GoodAuth();
  forged.DBID = identity_.id + 1;
  stranger.Send(pkAutoryzacja, BuildAuthData(forged));
  stranger.Send(pkAktywnosc, "");
  EXPECT_EQ(stranger.Next().type, pkPolaczenie);
  EXPECT_EQ(stranger.Next().type, pkWeryfikacja);
}

TEST_F(ExposureTest, AnAuthenticationWithAFieldThatIsNoNumberIsRefusedAtOnce) {
  ScriptedClient& client = Connect();
  ASSERT_EQ(client.Next().type, pkPolaczenie);
  client.Send(pkAutoryzacja, "x;1;;119.0;2.1.5.7;0;119;0;");
  const Packet verdict = client.Next(1000);
  EXPECT_EQ(verdict.type, pkWeryfikacja);
  EXPECT_EQ(verdict.payload, "1");
  EXPECT_TRUE(client.WaitClosed(1000));
}

TEST_F(ExposureTest, EveryConnectionCarriesKeepalive) {
  const KeepAlive settings{7, 3, 4};
  ServerSettings configured;
  configured.keep_alive = settings;
  server_.Configure(configured);
  ScriptedClient& client = LoggedIn(GoodAuth());
  ASSERT_EQ(server_.SlotCount(), 1U);
  EXPECT_EQ(ReadKeepAlive(server_.SessionAt(0)->Connection()->Socket().socketDescriptor()),
            settings);
  EXPECT_EQ(ReadKeepAlive(client.Socket().socketDescriptor()), KeepAlive{});
}

}  // namespace
}  // namespace tramolin::testing
