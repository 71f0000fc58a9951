// The replication link over TLS, chosen at both ends: a synchronisation through it, and every
// mismatch refused before any packet of the exchange (a wrong pin, an expired certificate, a plain
// client at a TLS server, a TLS client at a plain server).
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "client_harness.h"
#include "util/text_rules.h"

namespace tramolin::testing {
namespace {

class TlsTest : public ClientServerFixture {
 protected:
  // A certificate for 127.0.0.1 made by the project's script; returns its fingerprint.
  std::string MakeCertificate(bool expired = false) {
    const std::string dir = (Dir() / (expired ? "expired" : "tls")).string();
    const std::string command = std::string(expired ? "TRAMOLIN_CERT_EXPIRED=1 " : "") + "'" +
                                TRAMOLIN_SOURCE_DIR + "/scripts/make-certificate.sh' '" + dir +
                                "' 127.0.0.1";
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
      std::array<char, 256> chunk{};
      while (std::fgets(chunk.data(), chunk.size(), pipe) != nullptr) output += chunk.data();
      ::pclose(pipe);
    }
    certificate_ = dir + "/server.pem";
    key_ = dir + "/server.key";
    return std::string(Trim(output));
  }
  // The server listens again, with TLS when a certificate was made.
  void Relisten(bool tls) {
    ServerSettings settings;
    if (tls) {
      settings.tls_certificate = certificate_;
      settings.tls_key = key_;
    }
    server_.Configure(settings);
    ASSERT_TRUE(server_.Listen(0));
  }
  void ConnectClient(bool tls, const std::string& pin) {
    Configure([&](ClientSettings& s) {
      s.tls = tls;
      s.tls_fingerprint = pin;
    });
    client_.Link().tmrKConnectTimer();
  }
  bool ServerLine(std::string_view prefix) {
    return RunUntil([&] { return host_.CountLines(prefix) > 0; });
  }

  std::string certificate_;
  std::string key_;
};

TEST_F(TlsTest, ASynchronisationThroughTlsLeavesEqualTables) {
  const std::string pin = MakeCertificate();
  ASSERT_EQ(pin.size(), 95U) << pin;
  Relisten(true);
  EXPECT_EQ(host_.CountLines("Nasłuchiwanie na porcie "_cp +
                             std::to_string(server_.ListeningPort()) + " (TLS)"),
            1);
  Exec(MainPath(), "INSERT INTO DOKUMENTY (ID, NAZWA) VALUES (1, 'szyfrowany')");
  Exec(CopyPath(1), "INSERT INTO TOWARY (ID, NAZWA) VALUES (10500001, 'z kopii')");
  Configure([&](ClientSettings& s) {
    s.tls = true;
    s.tls_fingerprint = pin;
  });
  ASSERT_TRUE(Synchronise());
  ExpectConverged();
}

TEST_F(TlsTest, AWrongPinOrAnExpiredCertificateIsRefusedBeforeTheExchange) {
  struct Case {
    bool expired;
    bool wrong_pin;
  };
  for (const Case c : {Case{false, true}, Case{true, false}}) {
    const std::string pin = MakeCertificate(c.expired);
    Relisten(true);
    const int refused = Lines("Certyfikat serwera odrzucony ("_cp);
    ConnectClient(true, c.wrong_pin ? std::string(95, '0') : pin);
    ASSERT_TRUE(WaitForLine("Certyfikat serwera odrzucony ("_cp, refused + 1));
    EXPECT_TRUE(WaitForState(kClientDisconnected));
    EXPECT_EQ(Lines("Serwer zakceptował"_cp), 0);
    EXPECT_TRUE(!server_.HasClients()) << "the server never saw an authentication";
  }
}

TEST_F(TlsTest, APlainClientAtATlsServerGetsNoExchange) {
  MakeCertificate();
  Relisten(true);
  ConnectClient(false, "");
  ASSERT_TRUE(WaitForLine("Rozłączono z serwerem"_cp)) << "the server ends the stalled handshake";
  EXPECT_EQ(Lines("Serwer zakceptował"_cp), 0);
  EXPECT_TRUE(!server_.HasClients());
  EXPECT_TRUE(ServerLine("Nieudane połączenie TLS (127.0.0.1:"_cp));
}

// Peers that open TCP connections and never start a handshake, closing them themselves or
// leaving them to the server's time-out, do not stop the server from taking TLS clients.
TEST_F(TlsTest, ConnectionsThatNeverShakeHandsDoNotStopTheServerAccepting) {
  const std::string pin = MakeCertificate();
  Relisten(true);
  const QHostAddress server(QStringLiteral("127.0.0.1"));
  auto silent_at_once = [&](int count) {
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    for (int i = 0; i < count; ++i) {
      sockets.push_back(std::make_unique<QTcpSocket>());
      sockets.back()->bind(QHostAddress(QStringLiteral("127.0.0.3")), 0);
      sockets.back()->connectToHost(server, server_.ListeningPort());
    }
    RunFor(500);
  };
  silent_at_once(30);
  silent_at_once(1000);
  for (int i = 0; i < 1000; ++i) {
    QTcpSocket socket;
    socket.connectToHost(server, server_.ListeningPort());
    socket.waitForConnected(1000);
    RunFor(1);
  }
  ConnectClient(true, pin);
  EXPECT_TRUE(WaitForLine("Weryfikacja OK")) << "a TLS client still gets in";
}

TEST_F(TlsTest, ATlsClientAtAPlainServerNeverSendsInClear) {
  Relisten(false);
  ConnectClient(true, "");
  ASSERT_TRUE(WaitForLine("Nie udało się nawiązać połączenia z serwerem (CS.Tag = 0)"_cp));
  EXPECT_EQ(Lines("Serwer zakceptował"_cp), 0);
  EXPECT_TRUE(RunUntil([&] { return !server_.HasClients(); }));
}

}  // namespace
}  // namespace tramolin::testing
