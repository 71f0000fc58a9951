// The vendor services against local servers: a TLS server with the committed self-signed
// certificate (trusted only when a test says so), a server that never answers, a closed port.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QtTest/QTest>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "client/address_service.h"
#include "client/http_get.h"
#include "client/update_check.h"
#include "engine/recording_host.h"
#include "util/cp1250.h"

namespace tramolin {
namespace {

using std::chrono_literals::operator""ms;

QByteArray ReadTestFile(const char* name) {
  QFile file(QStringLiteral(TRAMOLIN_CLIENT_TEST_DIR "/") + QLatin1String(name));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Answers every request with 200 and the body; keeps the head of every request it saw.
class TlsTestServer {
 public:
  explicit TlsTestServer(QByteArray body) : body_(std::move(body)) {
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(Certificate());
    tls.setPrivateKey(QSslKey(ReadTestFile("test_server_key.pem"), QSsl::Ec));
    server_.setSslConfiguration(tls);
    QObject::connect(&server_, &QTcpServer::pendingConnectionAvailable, [this] { Accept(); });
    server_.listen(QHostAddress::LocalHost);
  }

  static QSslCertificate Certificate() {
    return QSslCertificate(ReadTestFile("test_server_cert.pem"));
  }
  std::string Url(const std::string& path = "/") const {
    return "https://127.0.0.1:" + std::to_string(server_.serverPort()) + path;
  }

  std::vector<std::string> requests;

 private:
  void Accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
      auto buffer = std::make_shared<QByteArray>();
      QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
        buffer->append(socket->readAll());
        const qsizetype end = buffer->indexOf("\r\n\r\n");
        if (end < 0) return;
        requests.push_back(buffer->left(end).toStdString());
        socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body_.size()) +
                      "\r\nConnection: close\r\n\r\n" + body_);
        socket->disconnectFromHost();
      });
      QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
  }

  QByteArray body_;
  QSslServer server_;
};

// The request line and the headers of the TLS test server's one request.
std::string OnlyRequest(const TlsTestServer& server) {
  return server.requests.size() == 1 ? server.requests.front()
                                     : "<" + std::to_string(server.requests.size()) + " requests>";
}

// A server that accepts connections and never says a word.
std::string SilentUrl(QTcpServer& silent) {
  silent.listen(QHostAddress::LocalHost);
  return "https://127.0.0.1:" + std::to_string(silent.serverPort()) + "/";
}

class VendorNetworkTest : public ::testing::Test {
 protected:
  HttpGetOptions Trusting() const {
    return {.timeout = 5000ms, .extra_ca_certificates = {TlsTestServer::Certificate()}};
  }

  // Runs one HttpGet to its end; the logged lines stay in host_.
  std::optional<std::string> Get(const std::string& url, const HttpGetOptions& options) {
    std::optional<std::string> body;
    HttpGet(url, host_, &context_, options, [&body](std::string text) { body = std::move(text); });
    EXPECT_TRUE(QTest::qWaitFor([&body] { return body.has_value(); }, 10000));
    return body;
  }

  std::vector<std::string> LogTexts() const {
    std::vector<std::string> texts;
    for (const testing::LogLine& line : host_.lines) {
      EXPECT_EQ(line.level, kLogProgress) << line.text;
      texts.push_back(line.text);
    }
    return texts;
  }

  testing::RecordingHost host_;
  QObject context_;
};

TEST_F(VendorNetworkTest, SelfSignedServerIsRefusedUnlessTrusted) {
  TlsTestServer server("result=1");
  EXPECT_EQ(Get(server.Url(), {.timeout = 5000ms}), "");
  ASSERT_EQ(host_.lines.size(), 1u);
  EXPECT_TRUE(host_.lines[0].text.starts_with("Błąd pobierania adresu z DynDNS ("_cp +
                                              server.Url() + "): \""))
      << host_.lines[0].text;
  EXPECT_TRUE(host_.lines[0].text.ends_with("\"") && !host_.lines[0].text.ends_with(": \"\""));
  EXPECT_NE(host_.lines[0].text.find("certificate"), std::string::npos) << host_.lines[0].text;

  host_.lines.clear();
  EXPECT_EQ(Get("http" + server.Url().substr(5), Trusting()), "result=1");  // made https
  EXPECT_TRUE(host_.lines.empty());
  const std::string request = OnlyRequest(server);
  EXPECT_TRUE(request.starts_with("GET / HTTP/1.1\r\n")) << request;
  for (const char* header : {"Content-Type: text/html\r\n", "Accept: text/html, */*\r\n",
                             "User-Agent: Velmo CRM Support System\r\n"}) {
    EXPECT_NE((request + "\r\n").find(header), std::string::npos) << header << request;
  }
}

TEST_F(VendorNetworkTest, ServerThatNeverAnswersEndsByTheTimeOut) {
  QTcpServer silent;
  const std::string url = SilentUrl(silent);
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(Get(url, {.timeout = 300ms}), "");
  EXPECT_GE(clock.elapsed(), 250);
  EXPECT_EQ(LogTexts(), std::vector<std::string>{"Błąd pobierania adresu z DynDNS ("_cp + url +
                                                 "): \"Przekroczono czas oczekiwania na odpowiedź "
                                                 "(0.3 s)\""_cp});
}

TEST_F(VendorNetworkTest, LookUpLogsTheReplyAndYieldsTheAddress) {
  TlsTestServer server("result=1\r\nremote_addr=10.1.2.3\r\nremote_port=17850\r\n");
  AddressService service(host_);
  service.SetHttpOptions(Trusting());
  std::vector<std::optional<ServerAddress>> answers;
  service.LookUpServerAddress(
      {.server_url = server.Url("/dyn.php"), .customer_number = "K12", .copy_number = 3},
      [&answers](std::optional<ServerAddress> address) { answers.push_back(address); });
  EXPECT_TRUE(answers.empty());  // never from inside the call
  ASSERT_TRUE(QTest::qWaitFor([&answers] { return !answers.empty(); }, 10000));
  QTest::qWait(20);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0], (ServerAddress{"10.1.2.3", 17850}));
  EXPECT_TRUE(OnlyRequest(server).starts_with("GET /dyn.php?numer=K12&baza_nr=3 HTTP/1.1"));
  EXPECT_EQ(
      LogTexts(),
      (std::vector<std::string>{
          "Pobieranie adresu z DynDNS ("_cp + server.Url("/dyn.php") + "?numer=K12&baza_nr=3) ...",
          "Pobrano adres z DynDNS ("_cp + "result=1,remote_addr=10.1.2.3,remote_port=17850) ...",
      }));
}

TEST_F(VendorNetworkTest, FailedOrUnusableLookUpAnswersOnceWithNoAddress) {
  TlsTestServer empty(""), refusing("result=0,remote_addr=h,remote_port=1");
  QTcpServer silent;
  const std::string failed("Nie udało się pobrać adresu z DynDNS ..."_cp);
  struct Case {
    std::string url;
    HttpGetOptions options;
    std::size_t log_lines;
    std::string last_line;
  };
  const std::vector<Case> cases = {
      {"", {}, 0, ""},                                     // look-up switched off
      {empty.Url(), Trusting(), 2, failed},                // an empty body
      {empty.Url(), {.timeout = 5000ms}, 3, failed},       // refused certificate
      {SilentUrl(silent), {.timeout = 200ms}, 3, failed},  // time-out
      {refusing.Url(), Trusting(), 2,
       std::string("Pobrano adres z DynDNS (result=0,remote_addr=h,"
                   "remote_port=1) ..."_cp)},
  };
  for (const Case& c : cases) {
    host_.lines.clear();
    AddressService service(host_);
    service.SetHttpOptions(c.options);
    std::vector<std::optional<ServerAddress>> answers;
    service.LookUpServerAddress({.server_url = c.url}, [&](std::optional<ServerAddress> found) {
      answers.push_back(found);
    });
    ASSERT_TRUE(QTest::qWaitFor([&answers] { return !answers.empty(); }, 10000)) << c.url;
    QTest::qWait(20);
    EXPECT_EQ(answers, std::vector<std::optional<ServerAddress>>{std::nullopt}) << c.url;
    ASSERT_EQ(host_.lines.size(), c.log_lines) << c.url;
    if (c.log_lines > 0) {
      EXPECT_EQ(host_.lines.back().text, c.last_line);
    }
  }
}

TEST_F(VendorNetworkTest, PublishingSendsRemoteAddressOnlyWhenNotBlank) {
  struct Case {
    std::string remote_addr;
    std::string remote_host;
    std::string query;
  };
  const std::vector<Case> cases = {
      {"  ", "host.example", "?numer=K1&baza_nr=0&remote_port=17846 "},
      {"1.2.3.4", "", "?numer=K1&baza_nr=0&remote_port=17846&remote_addr=1.2.3.4&remote_host= "},
  };
  for (const Case& c : cases) {
    TlsTestServer server("result=1,remote_host=ext.example,remote_port=17846");
    host_.lines.clear();
    AddressService service(host_);
    service.SetHttpOptions(Trusting());
    service.PublishServerAddress({.server_url = server.Url("/dyn.php"),
                                  .customer_number = "K1",
                                  .copy_number = 5,
                                  .remote_addr = c.remote_addr,
                                  .remote_host = c.remote_host});
    ASSERT_TRUE(QTest::qWaitFor([this] { return !host_.lines.empty(); }, 10000));
    EXPECT_TRUE(OnlyRequest(server).starts_with("GET /dyn.php" + c.query + "HTTP/1.1"))
        << OnlyRequest(server);
    EXPECT_EQ(LogTexts(), std::vector<std::string>{std::string(
                              "Adres zewnętrzny: ext.example port zewnętrzny:17846"_cp)});
  }
}

TEST_F(VendorNetworkTest, PublishingToAnUnreachableServiceLogsErrorThenEmptyAddress) {
  QTcpServer closed;
  ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
  const std::string url = "https://127.0.0.1:" + std::to_string(closed.serverPort()) + "/d";
  closed.close();
  AddressService service(host_);
  service.PublishServerAddress({.server_url = url});
  ASSERT_TRUE(QTest::qWaitFor([this] { return host_.lines.size() >= 2; }, 10000));
  ASSERT_EQ(host_.lines.size(), 2u);
  EXPECT_TRUE(host_.lines[0].text.starts_with("Błąd pobierania adresu z DynDNS ("_cp + url +
                                              "?numer=&baza_nr=0&remote_port=17846): \""));
  EXPECT_EQ(host_.lines[1].text, "Adres zewnętrzny:  port zewnętrzny:"_cp);

  host_.lines.clear();
  service.PublishServerAddress({.server_url = ""});
  QTest::qWait(50);
  EXPECT_TRUE(host_.lines.empty());
}

TEST_F(VendorNetworkTest, UpdateCheckSendsTheQueryAsBuilt) {
  TlsTestServer server("ignored");
  const UpdateCheckSettings settings{.endpoint = server.Url("/checkforupdates.php"),
                                     .customer_number = "K 1",
                                     .customer_name = std::string("Łódź Sp. z o.o."_cp),
                                     .program_directory = "/nonexistent",
                                     .program_version = "2.0.0.1",
                                     .computer_name = ""};
  const std::string url = CheckForUpdates(settings, &context_, Trusting());
  EXPECT_EQ(url, server.Url("/checkforupdates.php") +
                     "?wersja=K_1&p=[R]&f=%C5%81%C3%B3d%C5%BA_Sp._z_o.o.&x1=2.0.0.1&k=");
  ASSERT_TRUE(QTest::qWaitFor([&server] { return !server.requests.empty(); }, 10000));
  EXPECT_TRUE(
      OnlyRequest(server).starts_with("GET " + url.substr(url.find("/check")) + " HTTP/1.1"))
      << OnlyRequest(server);
  EXPECT_TRUE(host_.lines.empty());
}

TEST_F(VendorNetworkTest, DestroyingTheOwnerAbortsARunningRequestWithoutAnAnswer) {
  QTcpServer silent;
  const std::string url = SilentUrl(silent);
  bool answered = false;
  {
    auto service = std::make_unique<AddressService>(host_);
    service->LookUpServerAddress({.server_url = url},
                                 [&answered](std::optional<ServerAddress>) { answered = true; });
    auto owner = std::make_unique<QObject>();
    CheckForUpdates({.endpoint = url, .program_directory = "/nonexistent"}, owner.get());
    QTest::qWait(50);
  }
  QTest::qWait(50);
  EXPECT_FALSE(answered);
}

}  // namespace
}  // namespace tramolin
