// A real replication server on a fresh embedded main database, listening on a free loopback
// port, and scripted clients made from the protocol code that talk to it packet by packet.
#pragma once

#include <QEventLoop>
#include <QHostAddress>
#include <QMap>
#include <QTcpSocket>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/database_identity.h"
#include "engine/pass_dm.h"
#include "engine/recording_host.h"
#include "engine/replication_data.h"
#include "engine_fixture.h"
#include "net/packet_connection.h"
#include "protocol/frame.h"
#include "protocol/packet_types.h"
#include "protocol/payloads.h"
#include "server/host_name_resolver.h"
#include "server/replication_server.h"

namespace tramolin::testing {

// Runs the event loop until the condition holds or the time is up; returns the condition.
inline bool RunUntil(const std::function<bool()>& done, int timeout_ms = 5000) {
  for (int waited = 0; !done() && waited < timeout_ms; waited += 5) {
    QEventLoop loop;
    QTimer::singleShot(5, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return done();
}

inline void RunFor(int ms) {
  RunUntil([] { return false; }, ms);
}

// Host names by address, answered on the next pass of the event loop.
class ScriptedResolver final : public HostNameResolver {
 public:
  void Resolve(const QHostAddress& address, QObject* context, Done done) override {
    const QString name = names.value(address.toString());
    QTimer::singleShot(0, context, [done, name] { done(name); });
  }
  QMap<QString, QString> names;
};

struct Packet {
  std::uint8_t type;
  std::string payload;
};

// One client connection driven by the test, from a chosen loopback address.
class ScriptedClient {
 public:
  ScriptedClient(quint16 port, const QString& from = QStringLiteral("127.0.0.1")) {
    auto socket = std::make_unique<QTcpSocket>();
    socket->bind(QHostAddress(from), 0);
    connection_ = std::make_unique<PacketConnection>(std::move(socket));
    QObject::connect(connection_.get(), &PacketConnection::packetReceived,
                     [this](std::uint8_t type, const std::string& payload) {
                       received.push_back({type, payload});
                     });
    QObject::connect(connection_.get(), &PacketConnection::disconnected, [this] { closed = true; });
    connection_->ConnectToHost(QStringLiteral("127.0.0.1"), port);
  }

  void Send(std::uint8_t type, std::string_view payload) {
    connection_->SendFrame(BuildPacket(type, payload, false));
  }
  // Waits for the next packet not taken yet; type 0 when none came.
  Packet Next(int timeout_ms = 5000) {
    RunUntil([this] { return received.size() > taken_; }, timeout_ms);
    if (received.size() <= taken_) return {0, {}};
    return received[taken_++];
  }
  bool WaitClosed(int timeout_ms = 5000) {
    return RunUntil([this] { return closed; }, timeout_ms);
  }
  QTcpSocket& Socket() { return connection_->Socket(); }

  std::vector<Packet> received;
  bool closed = false;

 private:
  std::unique_ptr<PacketConnection> connection_;
  std::size_t taken_ = 0;
};

class ServerFixture : public EngineFixture {
 protected:
  static constexpr const char* kProgramVersion = "2.1.5.100";

  void SetUp() override {
    EngineFixture::SetUp();
    host_.server_mode = true;
    DatabaseSettings settings;
    settings.server = "";
    settings.directory = Dir().string();
    settings.file = "main.fdb";
    data_ = std::make_unique<ReplicationData>(host_, server_, pass_dm_, settings);
    ASSERT_TRUE(data_->ConnectDatabase());
    identity_ = data_->ReadIdentity();
    server_.SetWorkerDatabase(WorkerDatabaseLike(*data_));
    server_.SetIdentity({identity_.id, kProgramVersion, identity_.version});
    server_.SetResolver(&resolver_);
    server_.SetTimings({0, 300, 60'000, 2000});
    server_.SetHooks({[this](int state) { states_.push_back(state); }, [this] { ++idle_stops_; },
                      [this](int interval) { idle_restarts_.push_back(interval); }});
    ASSERT_TRUE(server_.Listen(0));
  }
  void TearDown() override {
    clients_.clear();
    server_.StopSessions();
    data_.reset();
    EngineFixture::TearDown();
  }

  ScriptedClient& Connect(const QString& from = QStringLiteral("127.0.0.1")) {
    clients_.push_back(std::make_unique<ScriptedClient>(server_.ListeningPort(), from));
    return *clients_.back();
  }
  // The authentication data of copy `number` that matches the server in every check.
  TAUTHData GoodAuth(int number = 1) const {
    TAUTHData auth;
    auth.DBNR = number;
    auth.DBID = identity_.id;
    auth.DBVer = identity_.version;
    auth.RepVer = "2.1.5.7";
    auth.BAZA_VER_HIGH = "119";
    return auth;
  }
  // Connects, is accepted and authenticates; returns the verification code.
  int LogIn(ScriptedClient& client, const TAUTHData& auth) {
    const Packet accepted = client.Next();
    EXPECT_EQ(accepted.type, pkPolaczenie);
    EXPECT_EQ(accepted.payload, "0");
    client.Send(pkAutoryzacja, BuildAuthData(auth));
    const Packet verdict = client.Next();
    EXPECT_EQ(verdict.type, pkWeryfikacja);
    return ParseVerificationResult(verdict.payload);
  }
  ScriptedClient& LoggedIn(const TAUTHData& auth) {
    ScriptedClient& client = Connect();
    EXPECT_EQ(LogIn(client, auth), kVerificationOk);
    return client;
  }
  long long Journal(int copy = 1) {
    return QueryInt(MainPath(),
                    "SELECT COUNT(*) FROM REPZMIANY WHERE IDREPKOPIE=" + std::to_string(copy));
  }

  RecordingHost host_;
  TPassDM pass_dm_;
  ScriptedResolver resolver_;
  ReplicationServer server_{host_};
  std::unique_ptr<ReplicationData> data_;
  DatabaseIdentity identity_;
  std::vector<int> states_;
  int idle_stops_ = 0;
  std::vector<int> idle_restarts_;
  std::vector<std::unique_ptr<ScriptedClient>> clients_;
};

}  // namespace tramolin::testing
