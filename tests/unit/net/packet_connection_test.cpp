#include "net/packet_connection.h"

#include <gtest/gtest.h>

#include <QHostAddress>
#include <QTcpServer>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "net/keep_alive.h"
#include "protocol/packet_types.h"
#include "protocol/payloads.h"

namespace tramolin {
namespace {

constexpr int kWaitMs = 10000;

struct Received {
  std::vector<std::pair<std::uint8_t, std::string>> packets;
  std::vector<std::uint8_t> corrupt;
  int overflows = 0;
  int disconnections = 0;

  void Watch(PacketConnection& connection) {
    QObject::connect(&connection, &PacketConnection::packetReceived,
                     [this](std::uint8_t type, const std::string& payload) {
                       packets.emplace_back(type, payload);
                     });
    QObject::connect(&connection, &PacketConnection::corruptPacket,
                     [this](std::uint8_t type) { corrupt.push_back(type); });
    QObject::connect(&connection, &PacketConnection::overflowed, [this] { ++overflows; });
    QObject::connect(&connection, &PacketConnection::disconnected, [this] { ++disconnections; });
  }
};

// A server-side and a client-side connection joined over loopback.
class PacketConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override { Join(kDefaultFrameLimit); }

  void Join(std::size_t server_limit) {
    server_side_.reset();
    client_side_.reset();
    server_ = std::make_unique<QTcpServer>();
    ASSERT_TRUE(server_->listen(QHostAddress::LocalHost));
    client_side_ =
        std::make_unique<PacketConnection>(std::make_unique<QTcpSocket>(), &client_program_);
    client_received_ = {};
    client_received_.Watch(*client_side_);
    client_side_->ConnectToHost("127.0.0.1", server_->serverPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return server_->hasPendingConnections(); }, kWaitMs));
    std::unique_ptr<QTcpSocket> accepted(server_->nextPendingConnection());
    accepted->setParent(nullptr);
    server_side_ =
        std::make_unique<PacketConnection>(std::move(accepted), &server_program_, server_limit);
    server_received_ = {};
    server_received_.Watch(*server_side_);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return client_side_->state() == PacketConnection::State::kOpen; }, kWaitMs));
  }

  bool WaitForServerPackets(std::size_t count) {
    return QTest::qWaitFor([&] { return server_received_.packets.size() >= count; }, kWaitMs);
  }

  // Writes raw bytes from the client, bypassing the frame builder.
  void SendRawFromClient(const std::string& bytes) {
    client_side_->Socket().write(bytes.data(), static_cast<qint64>(bytes.size()));
  }

  TrafficCounters client_program_;
  TrafficCounters server_program_;
  std::unique_ptr<QTcpServer> server_;
  std::unique_ptr<PacketConnection> client_side_;
  std::unique_ptr<PacketConnection> server_side_;
  Received client_received_;
  Received server_received_;
};

TEST_F(PacketConnectionTest, PacketsTravelBothWays) {
  ASSERT_TRUE(client_side_->SendFrame(BuildPacket(pkGotowosc, BuildReadySignal(12), false)));
  ASSERT_TRUE(WaitForServerPackets(1));
  EXPECT_EQ(server_received_.packets[0],
            std::make_pair(std::uint8_t{pkGotowosc}, std::string("12")));
  ASSERT_TRUE(server_side_->SendFrame(BuildPacket(pkAktywnoscOdp, "", false)));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !client_received_.packets.empty(); }, kWaitMs));
  EXPECT_EQ(client_received_.packets[0].first, pkAktywnoscOdp);
}

TEST_F(PacketConnectionTest, LargeFrameArrivesWholeAndCountersAgree) {
  std::string payload;
  for (int i = 0; i < 3'000'000; ++i) payload.push_back(static_cast<char>('a' + (i * 31) % 23));
  const std::string frame = BuildPacket(pkZmiany, payload, false);
  ASSERT_TRUE(client_side_->SendFrame(frame));
  ASSERT_TRUE(WaitForServerPackets(1));
  EXPECT_EQ(server_received_.packets[0].second, payload);
  EXPECT_EQ(client_side_->Counters().Wyslano, frame.size());
  EXPECT_EQ(client_program_.Wyslano, frame.size());
  EXPECT_EQ(server_side_->Counters().Odebrano, frame.size());
  EXPECT_EQ(server_program_.Odebrano, frame.size());
}

TEST_F(PacketConnectionTest, FramesWrittenInOneGoAllArriveInOrder) {
  std::string burst;
  for (int i = 0; i < 50; ++i) burst += BuildPacket(pkPotwierdzenie, BuildConfirmation(i), false);
  SendRawFromClient(burst);
  ASSERT_TRUE(WaitForServerPackets(50));
  for (int i = 0; i < 50; ++i) EXPECT_EQ(ParseConfirmation(server_received_.packets[i].second), i);
}

TEST_F(PacketConnectionTest, CorruptFrameIsReportedAndTheNextOneStillArrives) {
  SendRawFromClient(std::string("\x05;8;AAAAAAAA") + BuildPacket(pkGotowosc, "3", false));
  ASSERT_TRUE(WaitForServerPackets(1));
  EXPECT_EQ(server_received_.corrupt, std::vector<std::uint8_t>{pkZmiany});
  EXPECT_EQ(server_received_.packets[0].second, "3");
}

TEST_F(PacketConnectionTest, OverflowIsReportedOnceAndTheOwnerCanAnswerBeforeClosing) {
  Join(1000);
  QObject::connect(server_side_.get(), &PacketConnection::overflowed, [this] {
    server_side_->SendFrame(
        BuildPacket(pkBlad, BuildErrorReport(kErrorReceiveOverflow, ""), false));
    server_side_->Close();
  });
  SendRawFromClient("\x05;5000;");
  SendRawFromClient(std::string(5000, 'A'));
  ASSERT_TRUE(QTest::qWaitFor([&] { return client_received_.disconnections == 1; }, kWaitMs));
  EXPECT_EQ(server_received_.overflows, 1);
  ASSERT_EQ(client_received_.packets.size(), 1u);
  EXPECT_EQ(client_received_.packets[0], std::make_pair(std::uint8_t{pkBlad}, std::string("4;")));
}

TEST_F(PacketConnectionTest, NonNumericLengthIsAnOverflow) {
  SendRawFromClient("\x02;abc;xyz");
  ASSERT_TRUE(QTest::qWaitFor([&] { return server_received_.overflows == 1; }, kWaitMs));
  EXPECT_EQ(server_side_->state(), PacketConnection::State::kOverflowed);
  EXPECT_TRUE(server_received_.packets.empty());
}

TEST_F(PacketConnectionTest, NothingIsSentForAFrameBuiltWhileClosing) {
  EXPECT_FALSE(client_side_->SendFrame(BuildPacket(pkGotowosc, "1", true)));
  EXPECT_EQ(client_side_->Counters().Wyslano, 0u);
  EXPECT_EQ(client_program_.Wyslano, 0u);
}

TEST_F(PacketConnectionTest, PeerClosingIsReportedOnceAndSendingStops) {
  client_side_->Close();
  ASSERT_TRUE(QTest::qWaitFor([&] { return server_received_.disconnections == 1; }, kWaitMs));
  EXPECT_EQ(client_received_.disconnections, 1);
  EXPECT_EQ(server_side_->state(), PacketConnection::State::kClosed);
  EXPECT_FALSE(server_side_->SendFrame(BuildPacket(pkAktywnosc, "", false)));
  QTest::qWait(50);
  EXPECT_EQ(server_received_.disconnections, 1);
}

TEST_F(PacketConnectionTest, NoPacketIsDeliveredAfterTheOwnerClosedOrAborted) {
  for (const auto end : {&PacketConnection::Close, &PacketConnection::Abort}) {
    Join(kDefaultFrameLimit);
    QObject::connect(server_side_.get(), &PacketConnection::packetReceived,
                     [this, end](std::uint8_t, const std::string&) { (*server_side_.*end)(); });
    SendRawFromClient(BuildPacket(pkAktywnosc, "", false) + BuildPacket(pkAktywnosc, "", false));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server_received_.disconnections == 1; }, kWaitMs));
    EXPECT_EQ(server_received_.packets.size(), 1u);
    EXPECT_FALSE(server_side_->SendFrame(BuildPacket(pkAktywnosc, "", false)));
  }
}

TEST(PacketConnectionRefusedTest, FailedConnectionAttemptEndsInDisconnected) {
  QTcpServer probe;
  ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
  const quint16 port = probe.serverPort();
  probe.close();
  PacketConnection connection(std::make_unique<QTcpSocket>());
  Received received;
  received.Watch(connection);
  connection.ConnectToHost("127.0.0.1", port);
  ASSERT_TRUE(QTest::qWaitFor([&] { return received.disconnections == 1; }, kWaitMs));
  EXPECT_EQ(connection.state(), PacketConnection::State::kClosed);
}

TEST(SocketErrorEventNameTest, NetworkFailuresAreSendingOrReceivingByWhatWaits) {
  EXPECT_EQ(SocketErrorEventName(QAbstractSocket::NetworkError, true), "eeSend");
  EXPECT_EQ(SocketErrorEventName(QAbstractSocket::SocketTimeoutError, false), "eeReceive");
  EXPECT_EQ(SocketErrorEventName(QAbstractSocket::RemoteHostClosedError, true), "eeDisconnect");
  EXPECT_EQ(SocketErrorEventName(QAbstractSocket::HostNotFoundError, false), "eeConnect");
  EXPECT_EQ(SocketErrorEventName(QAbstractSocket::SocketAccessError, false), "eeGeneral");
}

TEST(KeepAliveTest, SettingsReadAsThreePositiveNumbersOfSeconds) {
  EXPECT_EQ(ParseKeepAlive("60,10,5"), (KeepAlive{60, 10, 5}));
  EXPECT_EQ(ParseKeepAlive("1,1,1")->BoundMs(), 2000);
  for (const char* bad : {"", "1,2", "1,2,3,", "1,2,3,4", "0,1,1", "a,1,1", "1,,1", " 1,1,1"}) {
    EXPECT_EQ(ParseKeepAlive(bad), std::nullopt) << bad;
  }
}

}  // namespace
}  // namespace tramolin
