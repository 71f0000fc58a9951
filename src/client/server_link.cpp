#include "client/server_link.h"

#include <QPointer>
#include <QSslSocket>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <memory>

#include "client/client_state.h"
#include "client/replication_client.h"
#include "engine/replication_data.h"
#include "net/packet_connection.h"
#include "net/restart_timer.h"
#include "net/tls.h"
#include "protocol/frame.h"
#include "protocol/payload_codec.h"
#include "protocol/payloads.h"
#include "util/cp1250.h"
#include "util/log_level.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

constexpr int kNextSourceDelayMs = 250;
constexpr int kRetryDelayMs = 60'000;
constexpr int kIdleDisconnectMs = 780'000;
constexpr double kDayMs = 86'400'000.0;
// A dropped connection gets this long to hand over what was written to it.
constexpr int kFlushGraceMs = 5000;

std::string Text(const QString& text) { return text.toStdString(); }

std::string TagText(AddressSource tag) { return std::to_string(static_cast<int>(tag)); }

bool WaitsForServer(int state) {
  return state == kClientConnected || state == kClientAuthorising || state == kClientWaiting ||
         state == kClientAwaitingConfirmation;
}

}  // namespace

ServerLink::ServerLink(ReplicationClient& client) : client_(client) {}

ServerLink::~ServerLink() { Deactivate(); }

// ---- The attempt ------------------------------------------------------------------------------

void ServerLink::tmrKConnectTimer() {
  client_.tmrKConnect.stop();
  if (client_.Settings().technician) {
    ConnectNow();
    return;
  }
  if (connecting_database_) return;
  connecting_database_ = true;
  client_.KeepEventsSubscribed();
  client_.RunJob<bool>([](ReplicationData& data) { return data.ConnectDatabase(); },
                       [this](bool connected) {
                         connecting_database_ = false;
                         if (!connected) DatabaseUnavailable();
                         ConnectNow();
                       },
                       false);
}

void ServerLink::DatabaseUnavailable() {
  client_.Host().Log("Wystąpił problem w czasie łączenia z bazą danych "_cp, kLogError);
  if (!client_.Settings().on_demand) RestartTimer(client_.tmrKConnect, kRetryDelayMs);
}

void ServerLink::ConnectNow() {
  if (client_.ActivityState() != kClientDisconnected || lookup_pending_) return;
  ConnectThrough(tag_);
}

void ServerLink::ConnectThrough(AddressSource source) {
  const ServerAddresses& addresses = client_.Settings().addresses;
  switch (source) {
    case AddressSource::kPrimary:
      Activate(QString::fromStdString(addresses.host), static_cast<quint16>(addresses.port));
      break;
    case AddressSource::kLookedUp:
      if (addresses.address_service.empty()) {
        FallBackToAlternative();
      } else {
        LookUpAndConnect();
      }
      break;
    case AddressSource::kAlternative:
      Activate(QString::fromStdString(addresses.host2), static_cast<quint16>(addresses.port2));
      break;
  }
}

// The answer may come later; meanwhile the connection timer finds the attempt under way.
void ServerLink::LookUpAndConnect() {
  ServerAddressLookup* lookup = client_.AddressLookup();
  if (lookup == nullptr) {
    FallBackToAlternative();
    return;
  }
  lookup_pending_ = true;
  const QPointer<ServerLink> alive(this);
  lookup->LookUp([alive](std::optional<LookedUpAddress> address) {
    if (alive.isNull()) return;
    ServerLink& link = *alive;
    link.lookup_pending_ = false;
    if (link.client_.Host().Closing() || link.tag_ != AddressSource::kLookedUp ||
        link.client_.ActivityState() != kClientDisconnected) {
      return;
    }
    if (address) {
      link.Activate(QString::fromStdString(address->host), static_cast<quint16>(address->port));
    } else {
      link.FallBackToAlternative();
    }
  });
}

void ServerLink::FallBackToAlternative() {
  if (AlternativeUsable(client_.Settings().addresses)) {
    tag_ = AddressSource::kAlternative;
    client_.SetActivityState(kClientDisconnected);
    RestartTimer(client_.tmrKConnect, kNextSourceDelayMs);
  } else {
    tag_ = AddressSource::kPrimary;
    ScheduleReconnect(false);
  }
}

void ServerLink::NextSourceAfterFailure() {
  if (const std::optional<AddressSource> next =
          NextAddressSource(tag_, client_.Settings().addresses)) {
    tag_ = *next;
    client_.SetActivityState(kClientDisconnected);
    RestartTimer(client_.tmrKConnect, kNextSourceDelayMs);
  } else {
    tag_ = AddressSource::kPrimary;
    ScheduleReconnect(false);
  }
}

void ServerLink::Activate(const QString& host, quint16 port) {
  Deactivate();
  host_ = host;
  port_ = port;
  std::unique_ptr<QTcpSocket> socket = NewSocket();
  // Connected before the connection's own handler, so that a failed attempt is told as an error
  // before the connection reports itself closed.
  connect(socket.get(), &QTcpSocket::errorOccurred, this, &ServerLink::CSError);
  cs_ = new PacketConnection(std::move(socket), &traffic_, kDefaultFrameLimit, this);
  cs_->SetKeepAlive(client_.Settings().keep_alive);
  connect(cs_, &PacketConnection::connected, this, &ServerLink::CSConnect);
  connect(cs_, &PacketConnection::packetReceived, this, &ServerLink::CSRead);
  connect(cs_, &PacketConnection::overflowed, this, &ServerLink::CSOverflow);
  connect(cs_, &PacketConnection::corruptPacket, this,
          [this] { client_.Host().LogException("CS", CorruptPayloadError()); });
  connect(cs_, &PacketConnection::disconnected, this, &ServerLink::CSDisconnect);
  CSConnecting();
  cs_->ConnectToHost(host, port);
}

// A plain socket, or with TLS one that connects encrypted and trusts the pinned certificate (or,
// with none pinned, a system authority for the host name). It never falls back to plain TCP.
std::unique_ptr<QTcpSocket> ServerLink::NewSocket() {
  const ClientSettings& settings = client_.Settings();
  if (!settings.tls) return std::make_unique<QTcpSocket>();
  auto socket = std::make_unique<QSslSocket>();
  socket->setSslConfiguration(ClientTlsConfiguration());
  QSslSocket* tls = socket.get();
  connect(tls, &QSslSocket::sslErrors, this,
          [this, tls](const QList<QSslError>& errors) { CheckCertificate(*tls, errors); });
  connect(tls, &QSslSocket::encrypted, this, [this, tls] { CheckPinnedCertificate(*tls); });
  return socket;
}

void ServerLink::CheckCertificate(QSslSocket& socket, const QList<QSslError>& errors) {
  const std::string& pinned = client_.Settings().tls_fingerprint;
  const std::string offered = CertificateFingerprint(socket.peerCertificate());
  const bool forgiven = !pinned.empty() && SameFingerprint(offered, pinned) &&
                        std::all_of(errors.begin(), errors.end(),
                                    [](const QSslError& e) { return ForgivenWhenPinned(e); });
  if (forgiven) {
    socket.ignoreSslErrors(errors);
    return;
  }
  client_.Host().Log(Concat({"Certyfikat serwera odrzucony ("_cp, ErrorsText(errors),
                             "), odcisk SHA-256: ", offered}),
                     kLogError);
}

// A certificate an authority vouches for is still refused when another one is pinned: the attempt
// fails before the connection opens.
void ServerLink::CheckPinnedCertificate(QSslSocket& socket) {
  const std::string& pinned = client_.Settings().tls_fingerprint;
  const std::string offered = CertificateFingerprint(socket.peerCertificate());
  if (pinned.empty() || SameFingerprint(offered, pinned)) return;
  client_.Host().Log(
      "Odcisk certyfikatu serwera nie zgadza się z ustawionym, otrzymany SHA-256: "_cp + offered,
      kLogError);
  CSError(QAbstractSocket::SslHandshakeFailedError);
}

bool ServerLink::Deactivate() {
  if (cs_ == nullptr) return false;
  ++epoch_;
  PacketConnection* connection = std::exchange(cs_, nullptr);
  const bool was_open = std::exchange(cs_open_, false);
  connection->disconnect(this);
  connection->Socket().disconnect(this);
  if (!was_open || connection->state() == PacketConnection::State::kClosed) {
    connection->Abort();
    connection->deleteLater();
    return was_open;
  }
  connect(connection, &PacketConnection::disconnected, connection, &QObject::deleteLater);
  QTimer::singleShot(kFlushGraceMs, connection, [connection] { connection->Abort(); });
  connection->Close();
  return true;
}

// ---- Dropping and the next attempt ------------------------------------------------------------

void ServerLink::ScheduleReconnect(bool immediate) {
  if (client_.Host().ServerMode()) return;
  client_.SetActivityState(kClientDisconnected);
  // Closing an open connection is a disconnection with its own handling; what follows here has
  // the last word on the timers.
  if (Deactivate()) CSDisconnect();
  if (immediate) {
    client_.tmrKReplikuj.stop();
    RestartTimer(client_.tmrKConnect, kNextSourceDelayMs);
    return;
  }
  if (!client_.Settings().on_demand) {
    RestartTimer(client_.tmrKConnect, kRetryDelayMs);
    client_.Host().Log("Następna próba połączenia za: "_cp + DurationText(kRetryDelayMs / kDayMs),
                       kLogProgress);
  }
  client_.tmrKReplikuj.stop();
  client_.RestartIdleDisconnect();
}

void ServerLink::tmrKTimeOutTimer() {
  if (client_.Host().ServerMode()) return;
  client_.tmrKTimeOut.stop();
  const int state = client_.ActivityState();
  if (!WaitsForServer(state)) return;
  client_.Host().Log(Concat({"Przekroczono limit czasu oczekiwania na serwer replikacji ("_cp,
                             ClientStateName(state), "). Rozłączanie ..."_cp}),
                     kLogProgress);
  ScheduleReconnect(false);
}

bool ServerLink::SendPacket(PacketType type, std::string_view payload) {
  return SendFrame(BuildPacket(type, payload, client_.Host().Closing()));
}

bool ServerLink::SendFrame(std::string_view frame) {
  if (cs_ == nullptr || !cs_open_) return false;
  return cs_->SendFrame(frame);
}

// ---- Socket events ----------------------------------------------------------------------------

void ServerLink::CSConnecting() {
  client_.Host().Log("Łączenie z serwerem "_cp + Text(host_) + ":" + std::to_string(port_) + " ...",
                     kLogProgress);
  client_.SetActivityState(kClientConnecting);
}

void ServerLink::CSConnect() {
  cs_open_ = true;
  client_.Host().Log("Połączono z serwerem "_cp + Text(host_) + ":" + std::to_string(port_),
                     kLogProgress);
  if (tag_ == AddressSource::kLookedUp) client_.SaveAlternativeAddress(Text(host_), port_);
  client_.SetActivityState(kClientConnected);
}

// The server went away, or the client closed the connection (ScheduleReconnect).
void ServerLink::CSDisconnect() {
  if (cs_ != nullptr) {
    if (!cs_open_) return;  // a failed attempt: its error tells
    Deactivate();
  }
  client_.SetActivityState(kClientDisconnected);
  client_.Host().Log(
      "Rozłączono z serwerem ("_cp + Text(host_) + ", " + std::to_string(port_) + ")",
      kLogProgress);
  ScheduleReconnect(false);
}

void ServerLink::CSError(QAbstractSocket::SocketError error) {
  const std::string code = std::to_string(static_cast<int>(error));
  if (client_.ActivityState() == kClientConnecting) {
    Deactivate();
    client_.Host().Log(
        Concat({"Nie udało się nawiązać połączenia z serwerem (CS.Tag = "_cp, TagText(tag_), ") ",
                Text(host_), ":", std::to_string(port_), ", kod: ", code}),
        kLogProgress);
    NextSourceAfterFailure();
    return;
  }
  // The server closing the connection is a disconnection, told as such.
  if (error == QAbstractSocket::RemoteHostClosedError) return;
  client_.Host().Log(
      Concat({"Wystąpił błąd: (CS.Tag = "_cp, TagText(tag_), ") CSError ErrorEvent: ",
              SocketErrorEventName(error, cs_ != nullptr && cs_->Socket().bytesToWrite() > 0),
              " ErrorCode: ", code}),
      kLogDiagnostic);
  ScheduleReconnect(false);
}

void ServerLink::CSRead(std::uint8_t type, const std::string& payload) {
  client_.PacketArrived(type, payload);
}

void ServerLink::CSOverflow() {
  HostServices& host = client_.Host();
  try {
    host.Log("TDM.CSRead: W czasie odczytu danych wystąpiło przepełnienie."_cp, kLogError);
    host.Log("Przepełenienie przy odbieraniu danych z serwera"_cp, kLogProgress);
    host.Log("", kLogStatus);
    SendPacket(pkBlad, BuildErrorReport(kErrorReceiveOverflow, ""));
    ScheduleReconnect(false);
  } catch (const std::exception& error) {
    host.Log(
        Concat({"Błąd w czasie raportowania przepełnienia przy odbieraniu danych z serwera:"_cp,
                "\"", error.what(), "\""}),
        kLogProgress);
  }
}

}  // namespace tramolin
