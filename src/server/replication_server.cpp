#include "server/replication_server.h"

#include <QPointer>
#include <QSslSocket>
#include <array>
#include <exception>

#include "net/packet_connection.h"
#include "net/restart_timer.h"
#include "net/tls.h"
#include "protocol/payload_codec.h"
#include "server/address_allow_list.h"
#include "server/exchange_handler.h"
#include "server/host_name_resolver.h"
#include "server/server_state.h"
#include "util/cp1250.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

constexpr int kZombieSweepIntervalMs = 900'000;
constexpr int kIdleDisconnectIntervalMs = 780'000;
constexpr double kInactivityLimitDays = 1.0 / 24;
constexpr std::uint64_t kProgressRefreshEvery = 20;
constexpr std::uint64_t kReceivedRefreshEvery = 1000;
// A host name comes from whoever runs the peer's reverse zone.
constexpr std::size_t kMaxHostNameLength = 255;

constexpr std::array<std::string_view, 7> kSlotStatusNames = {
    "połączony"_cp,      "autoryzowanie"_cp, "zalogowany"_cp,    "czeka na dane"_cp,
    "przygotowywuje"_cp, "przetwarza"_cp,    "czeka na potw."_cp};

std::string Text(const QString& text) { return text.toStdString(); }

// Peers can provoke these lines at will: at most one every ten seconds of each kind.
constexpr double kThrottledLinePeriod = 10.0 / 86400;

std::string HeldBackText(int held_back) {
  return held_back == 0 ? std::string()
                        : " (pominięto podobnych: "_cp + std::to_string(held_back) + ")";
}

bool IsLoopback(const QHostAddress& address) {
  bool mapped = false;
  const quint32 ipv4 = address.toIPv4Address(&mapped);
  return (mapped && ipv4 == QHostAddress(QHostAddress::LocalHost).toIPv4Address()) ||
         address == QHostAddress(QHostAddress::LocalHostIPv6);
}

}  // namespace

std::string_view SlotStatusName(int status) {
  if (status < 0 || static_cast<std::size_t>(status) >= kSlotStatusNames.size()) return {};
  return kSlotStatusNames[static_cast<std::size_t>(status)];
}

ReplicationServer::ReplicationServer(HostServices& host, QObject* parent)
    : QObject(parent),
      host_(host),
      system_resolver_(std::make_unique<SystemHostNameResolver>()),
      resolver_(system_resolver_.get()),
      exchange_(std::make_unique<ExchangeHandler>(*this)),
      refusals_log_(kThrottledLinePeriod),
      handshakes_log_(kThrottledLinePeriod) {
  tmrZombie.setParent(this);
  connect(&tmrZombie, &QTimer::timeout, this, &ReplicationServer::tmrZombieTimer);
  RestartTimer(tmrZombie, kZombieSweepIntervalMs);
}

ReplicationServer::~ReplicationServer() {
  // Connections still open go with the server; their signals must not reach it half destroyed.
  for (PacketConnection* connection : findChildren<PacketConnection*>()) {
    connection->disconnect(this);
  }
}

void ReplicationServer::SetView(ClientGridView* view) {
  view_ = view != nullptr ? view : &null_view_;
}

void ReplicationServer::SetResolver(HostNameResolver* resolver) {
  resolver_ = resolver != nullptr ? resolver : system_resolver_.get();
}

bool ReplicationServer::Listen(quint16 port) {
  std::unique_ptr<PacketListener> listener = MakeListener();
  if (!listener || !listener->listen(QHostAddress::AnyIPv4, port)) return false;
  SS = std::move(listener);
  connect(SS.get(), &PacketListener::socketAccepted, this, &ReplicationServer::SSClientConnect);
  connect(SS.get(), &PacketListener::handshakeFailed, this, &ReplicationServer::HandshakeFailed);
  connect(SS.get(), &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError error) {
    LogSocketError("eeAccept", static_cast<int>(error));
  });
  host_.Log("Nasłuchiwanie na porcie "_cp + std::to_string(SS->serverPort()) +
                (SS->Tls() ? " (TLS)" : ""),
            kLogProgress);
  WarnWhenOpenToEveryone();
  SetActivityState(kServerReady);
  return true;
}

// A plain listener, or with a certificate and key a TLS one that never takes plain TCP. TLS that
// cannot be set up is an error: the server does not fall back to sending in clear.
std::unique_ptr<PacketListener> ReplicationServer::MakeListener() {
  const bool certificate = !settings_.tls_certificate.empty();
  if (!certificate && settings_.tls_key.empty()) {
    return std::make_unique<PacketListener>(std::nullopt, timings_.handshake_timeout_ms, this);
  }
  std::string error = "ustaw oba klucze: TlsCertificate i TlsKey";
  std::optional<QSslConfiguration> tls =
      certificate && !settings_.tls_key.empty()
          ? ServerTlsConfiguration(settings_.tls_certificate, settings_.tls_key, error)
          : std::nullopt;
  if (!tls) {
    host_.Log("Nie można włączyć TLS: "_cp + error, kLogError);
    return nullptr;
  }
  return std::make_unique<PacketListener>(std::move(tls), timings_.handshake_timeout_ms, this);
}

// Every address of the computer listens: without a key, anyone who reaches the port may try.
void ReplicationServer::WarnWhenOpenToEveryone() {
  if (!settings_.access_key.empty()) return;
  host_.Log(
      "Serwer przyjmuje połączenia z każdego adresu bez klucza dostępu: ustaw [Server] AccessKey "
      "oraz TLS (TlsCertificate, TlsKey)"_cp,
      kLogDiagnostic);
}

void ReplicationServer::HandshakeFailed(QSslSocket* socket, const QString& reason) {
  int held_back = 0;
  if (!handshakes_log_.Allow(host_.Now(), held_back)) return;
  host_.Log(Concat({"Nieudane połączenie TLS ("_cp, Text(socket->peerAddress().toString()), ":",
                    std::to_string(socket->peerPort()), "): ", LoggablePeerText(Text(reason)),
                    HeldBackText(held_back)}),
            kLogError);
}

void ReplicationServer::SetActivityState(int state) {
  if (hooks_.set_activity_state) hooks_.set_activity_state(state);
}

void ReplicationServer::RestartIdleDisconnect() {
  if (hooks_.restart_idle_disconnect) hooks_.restart_idle_disconnect(kIdleDisconnectIntervalMs);
}

// ---- Slots -----------------------------------------------------------------------------------

TKlientInfo* ReplicationServer::Slot(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= Clients.size()) return nullptr;
  return &Clients[static_cast<std::size_t>(index)];
}

const TKlientInfo* ReplicationServer::Slot(int index) const {
  return const_cast<ReplicationServer*>(this)->Slot(index);
}

int ReplicationServer::AddSlot(PacketConnection* connection) {
  TKlientInfo slot;
  slot.Socket = connection;
  slot.CzasStart = host_.Now();
  slot.OstAktyw = slot.CzasStart;
  Clients.push_back(std::move(slot));
  if (hooks_.stop_idle_disconnect) hooks_.stop_idle_disconnect();
  UpdateClientGrid();
  return static_cast<int>(Clients.size()) - 1;
}

int ReplicationServer::FindSlot(const PacketConnection* connection) const {
  for (std::size_t i = 0; i < Clients.size(); ++i) {
    if (Clients[i].Socket == connection) return static_cast<int>(i);
  }
  return -1;
}

void ReplicationServer::CloseSlot(int index, bool close_connection) {
  TKlientInfo* slot = Slot(index);
  if (slot == nullptr) return;
  PacketConnection* connection = slot->Socket;
  if (slot->Serwisant == 0 && slot->DBNR > 0 && !slot->LastErrorMsg.empty()) {
    copy_errors_[slot->DBNR] = slot->LastErrorMsg;
  }
  if (slot != &Clients.back()) *slot = std::move(Clients.back());
  Clients.pop_back();
  UpdateClientGrid();
  if (close_connection && connection != nullptr && FindSlot(connection) == -1) {
    host_.Log("Zamykanie połączenia ("_cp + PeerText(connection) + ")", kLogProgress);
    CloseConnection(connection);
  }
}

void ReplicationServer::RecallCopyError(int index) {
  TKlientInfo* slot = Slot(index);
  if (slot == nullptr) return;
  const auto error = copy_errors_.find(slot->DBNR);
  if (error != copy_errors_.end()) slot->LastErrorMsg = error->second;
}

void ReplicationServer::ClearCopyError(int index) {
  TKlientInfo* slot = Slot(index);
  if (slot == nullptr || slot->LastErrorMsg.empty()) return;
  slot->LastErrorMsg.clear();
  copy_errors_.erase(slot->DBNR);
  RefreshClientRow(index);
}

void ReplicationServer::CloseConnection(PacketConnection* connection) {
  try {
    connection->Close();
  } catch (...) {
  }
}

void ReplicationServer::SetSlotStatus(int index, SlotStatus status) {
  TKlientInfo* slot = Slot(index);
  if (slot == nullptr) return;
  slot->Status = status;
  if (status == SlotStatus::kLoggedIn) slot->Autoryzowany = true;
  RefreshClientRow(index);
}

void ReplicationServer::SetSlotReceiving(int index, bool receiving) {
  if (TKlientInfo* slot = Slot(index)) slot->Odbieranie = receiving;
}

bool ReplicationServer::IsSlotReceiving(int index) const {
  const TKlientInfo* slot = Slot(index);
  return slot != nullptr && slot->Odbieranie;
}

void ReplicationServer::TouchSlot(int index) {
  TKlientInfo* slot = Slot(index);
  if (slot == nullptr) return;
  slot->OstAktyw = host_.Now();
  RefreshClientRow(index);
}

bool ReplicationServer::SlotSendsDataFirst(int index) const {
  const TKlientInfo* slot = Slot(index);
  return slot != nullptr && slot->SendNewDataFirst;
}

void ReplicationServer::SetSlotLastTransID(int index, int marker) {
  if (TKlientInfo* slot = Slot(index)) slot->LastTransID = marker;
}

void ReplicationServer::SetSlotRemoteChanges(int index, int count) {
  TKlientInfo* slot = Slot(index);
  if (slot == nullptr) return;
  slot->DoOdebrZmian = count;
  RefreshClientRow(index);
}

void ReplicationServer::SetSlotLocalChanges(int index, int count) {
  TKlientInfo* slot = Slot(index);
  if (slot == nullptr) return;
  slot->DoWyslZmian = count;
  RefreshClientRow(index);
}

void ReplicationServer::SetSlotLogging(int index, bool forward) {
  if (TKlientInfo* slot = Slot(index)) slot->Nasluch = forward;
}

void ReplicationServer::AddSlotBytesReceived(int index, std::int64_t count) {
  TKlientInfo* slot = Slot(index);
  if (slot == nullptr) return;
  slot->Odebrano += count;
  if (++received_calls_ % kReceivedRefreshEvery == 0) RefreshClientRow(index);
}

bool ReplicationServer::IsAddressAllowed(std::string_view host, std::string_view address) const {
  return tramolin::IsAddressAllowed(host, address, settings_.allow_list, settings_.exempt_address);
}

void ReplicationServer::UpdateClientGrid() {
  try {
    view_->UpdateClientGrid();
  } catch (...) {
  }
}

void ReplicationServer::RefreshClientRow(int index) {
  try {
    view_->RefreshClientRow(index);
  } catch (...) {
  }
}

// ---- SlotBook --------------------------------------------------------------------------------

void ReplicationServer::SetProgress(int slot, int percent) {
  if (!host_.ServerMode() || slot == -1) {
    progress_ = percent;
    return;
  }
  if (TKlientInfo* client = Slot(slot)) client->Postep = percent;
  if (++progress_calls_ % kProgressRefreshEvery == 0 || percent == 0) RefreshClientRow(slot);
}

void ReplicationServer::SetErrorText(int slot, std::string_view text) {
  if (slot < 0) {
    local_error_text_ = text;
  } else if (TKlientInfo* client = Slot(slot)) {
    client->LastErrorMsg = text;
  }
}

std::string ReplicationServer::GetErrorText(int slot) const {
  if (slot < 0) return local_error_text_;
  const TKlientInfo* client = Slot(slot);
  return client != nullptr ? client->LastErrorMsg : std::string();
}

int ReplicationServer::GetSlotDBNR(int slot) const {
  const TKlientInfo* client = Slot(slot);
  return client != nullptr ? client->DBNR : -1;
}

int ReplicationServer::GetSlotLastTransID(int slot) const {
  const TKlientInfo* client = Slot(slot);
  return client != nullptr ? client->LastTransID : -1;
}

// ---- Sending ---------------------------------------------------------------------------------

bool ReplicationServer::SendPacket(int index, PacketType type, std::string_view payload) {
  TKlientInfo* slot = Slot(index);
  if (slot == nullptr || slot->Socket == nullptr) return false;
  const std::string frame = BuildPacket(type, payload, host_.Closing());
  if (!slot->Socket->SendFrame(frame)) return false;
  slot->Wyslano += static_cast<std::int64_t>(frame.size());
  return true;
}

std::string ReplicationServer::PeerHostAndAddress(const PacketConnection* connection) const {
  const auto peer = peers_.find(connection);
  if (peer == peers_.end()) return {};
  return Text(peer->second.host) + "/" + Text(peer->second.address);
}

std::string ReplicationServer::PeerText(const PacketConnection* connection) const {
  const auto peer = peers_.find(connection);
  if (peer == peers_.end()) return {};
  return PeerHostAndAddress(connection) + ":" + std::to_string(peer->second.port);
}

void ReplicationServer::BroadcastLog(std::string_view text, int level) {
  const std::string payload = BuildCommandReply(ForwardedLogLine(level, text));
  for (std::size_t i = 0; i < Clients.size(); ++i) {
    const TKlientInfo& client = Clients[i];
    if (client.Nasluch && client.Autoryzowany && client.Serwisant == 1) {
      SendPacket(static_cast<int>(i), pkPolecenie, payload);
    }
  }
}

void ReplicationServer::AnnounceDatabaseUpgrade() {
  host_.Log("Aktualizacja struktury głównej bazy danych. Rozłączanie wszystkich klientów."_cp,
            kLogProgress);
  for (std::size_t i = 0; i < Clients.size(); ++i) {
    SendPacket(static_cast<int>(i), pkAktualizacja, "");
  }
}

// ---- Acceptance ------------------------------------------------------------------------------

void ReplicationServer::SSClientConnect(QTcpSocket* raw_socket) {
  std::unique_ptr<QTcpSocket> socket(raw_socket);
  const QString address = socket->peerAddress().toString();
  const PreLoginGate::Admission admission = pre_login_.Admit(socket.get(), Text(address));
  if (!admission.admitted) {
    RefuseBeyondLimit(address);
    socket->abort();
    return;
  }
  if (admission.evicted != nullptr) RefuseBeyondLimit(address);
  PacketConnection* connection = Wrap(std::move(socket));
  if (admission.evicted != nullptr) {
    for (PacketConnection* other : findChildren<PacketConnection*>()) {
      if (&other->Socket() == admission.evicted) other->Abort();
    }
  }
  if (connection->state() == PacketConnection::State::kOpen) {
    ResolvePeer(connection);
  } else {
    connect(connection, &PacketConnection::connected, this,
            [this, connection] { ResolvePeer(connection); });
  }
}

// A connection not logged in is held to the small frames of a stranger, and what it sends waits
// until it has been greeted.
PacketConnection* ReplicationServer::Wrap(std::unique_ptr<QTcpSocket> socket) {
  QTcpSocket* raw = socket.get();
  auto* connection = new PacketConnection(std::move(socket), &traffic_, kPreLoginFrameLimit, this);
  connection->SetKeepAlive(settings_.keep_alive);
  connection->HoldIncoming();
  Peer& peer = peers_[connection];
  peer.address = raw->peerAddress().toString();
  peer.port = raw->peerPort();
  connect(connection, &PacketConnection::packetReceived, this,
          [this, connection](std::uint8_t type, const std::string& payload) {
            SSClientRead(connection, type, payload);
          });
  connect(connection, &PacketConnection::overflowed, this,
          [this, connection] { SSClientOverflow(connection); });
  connect(connection, &PacketConnection::corruptPacket, this,
          [this] { host_.LogException("SS", CorruptPayloadError()); });
  connect(connection, &PacketConnection::disconnected, this,
          [this, connection] { SSClientDisconnect(connection); });
  connect(raw, &QTcpSocket::errorOccurred, this,
          [this, connection](QAbstractSocket::SocketError error) {
            SSClientError(connection, static_cast<int>(error));
          });
  QTimer::singleShot(timings_.login_deadline_ms, connection,
                     [this, connection] { CloseIfNotLoggedIn(connection); });
  return connection;
}

void ReplicationServer::RefuseBeyondLimit(const QString& address) {
  int held_back = 0;
  if (!refusals_log_.Allow(host_.Now(), held_back)) return;
  host_.Log(Concat({"Odrzucono połączenie z adresu "_cp, Text(address),
                    ": za dużo niezalogowanych połączeń (najwyżej "_cp,
                    std::to_string(PreLoginGate::kTotal), ", z jednego adresu "_cp,
                    std::to_string(PreLoginGate::kPerAddress), ")", HeldBackText(held_back)}),
            kLogProgress);
}

void ReplicationServer::ResolvePeer(PacketConnection* connection) {
  const QPointer<PacketConnection> alive(connection);
  resolver_->Resolve(connection->Socket().peerAddress(), connection,
                     [this, alive](const QString& host) {
                       if (!alive.isNull()) AcceptResolved(alive.data(), host);
                     });
}

void ReplicationServer::AcceptResolved(PacketConnection* connection, const QString& host) {
  if (FindSlot(connection) != -1 || connection->state() == PacketConnection::State::kClosed) {
    return;
  }
  Peer& peer = peers_[connection];
  peer.host = QString::fromStdString(LoggablePeerText(Text(host), kMaxHostNameLength));
  host_.Log("Przychodzące połączenie ("_cp + PeerText(connection) + ")", kLogProgress);
  if (IsAddressAllowed(Text(peer.host), Text(peer.address))) {
    AdmitConnection(connection);
  } else {
    RefuseConnection(connection);
    SetActivityState(kServerReady);
  }
}

void ReplicationServer::AdmitConnection(PacketConnection* connection) {
  AddSlot(connection);
  // The client reads the answer once its own connection event is done; a short pause, never a
  // sleep of the event loop.
  QTimer::singleShot(timings_.accept_delay_ms, connection,
                     [this, connection] { SendAcceptance(connection); });
}

// What the client sent before it was greeted is taken only now, so that nothing it sends is
// answered before the greeting.
void ReplicationServer::SendAcceptance(PacketConnection* connection) {
  const int index = FindSlot(connection);
  if (index == -1) return;
  SendPacket(index, pkPolaczenie, BuildConnectionResult(kConnectionAccepted));
  host_.Log("Połączenie zaakceptowane ("_cp + PeerText(connection) + ")", kLogProgress);
  SetActivityState(kServerReady);
  connection->ReleaseIncoming();
}

void ReplicationServer::ConnectionLoggedIn(PacketConnection* connection) {
  pre_login_.Remove(&connection->Socket());
  connection->SetFrameLimit(settings_.frame_limit);
}

bool ReplicationServer::FromLoopback(const PacketConnection* connection) const {
  const auto peer = peers_.find(connection);
  return peer != peers_.end() && IsLoopback(QHostAddress(peer->second.address));
}

void ReplicationServer::RefuseConnection(PacketConnection* connection) {
  connection->SendFrame(
      BuildPacket(pkPolaczenie, BuildConnectionResult(kConnectionRefused), host_.Closing()));
  host_.Log("Połączenie odrzucone ("_cp + PeerText(connection) + ") - nieznany host", kLogProgress);
  // The peer is expected to go on reading the refusal; one that stays is cut off.
  QTimer::singleShot(timings_.refusal_grace_ms, connection, [connection] {
    if (connection->state() != PacketConnection::State::kClosed) connection->Abort();
  });
}

void ReplicationServer::CloseIfNotLoggedIn(PacketConnection* connection) {
  const int index = FindSlot(connection);
  if (index == -1) {
    connection->Abort();  // still in its handshake or its host name look-up
    return;
  }
  if (Clients[static_cast<std::size_t>(index)].Autoryzowany) return;
  host_.Log("Klient "_cp + std::to_string(index + 1) + " nie zalogował się w wyznaczonym czasie"_cp,
            kLogProgress);
  CloseSlot(index, true);
}

// ---- Connection events -----------------------------------------------------------------------

void ReplicationServer::CountReceivedBytes(PacketConnection* connection, int index) {
  Peer& peer = peers_[connection];
  const std::uint64_t received = connection->Counters().Odebrano;
  AddSlotBytesReceived(index, static_cast<std::int64_t>(received - peer.counted_received));
  peer.counted_received = received;
}

void ReplicationServer::SSClientRead(PacketConnection* connection, std::uint8_t type,
                                     const std::string& payload) {
  const int index = FindSlot(connection);
  if (index == -1) return;  // a refused peer, or one whose slot went: dropped
  CountReceivedBytes(connection, index);
  TouchSlot(index);
  try {
    exchange_->Dispatch(connection, index, type, payload);
  } catch (const std::exception& error) {
    host_.LogException("SS", error);
  }
}

void ReplicationServer::SSClientOverflow(PacketConnection* connection) {
  const int index = FindSlot(connection);
  if (index == -1) {
    connection->Abort();
    return;
  }
  try {
    host_.Log("", kLogStatus);
    host_.Log("Przepełenienie przy odbieraniu danych od klienta nr "_cp + std::to_string(index),
              kLogProgress);
    SendPacket(index, pkBlad, BuildErrorReport(kErrorReceiveOverflow, ""));
    CloseSlot(FindSlot(connection), true);
  } catch (const std::exception& error) {
    host_.Log(Concat({"Błąd w czasie raportowania przepełenienia przy odbieraniu danych od "
                      "klienta nr "_cp,
                      std::to_string(index), ": \"", error.what(), "\""}),
              kLogProgress);
  }
}

void ReplicationServer::SSClientDisconnect(PacketConnection* connection) {
  const int index = FindSlot(connection);
  if (index != -1) {
    CloseSlot(index, false);
    host_.Log("Klient "_cp + std::to_string(index + 1) + " przerywa połączenie ("_cp +
                  PeerText(connection) + ")",
              kLogProgress);
  }
  if (Clients.empty()) RestartIdleDisconnect();
  pre_login_.Remove(&connection->Socket());
  peers_.erase(connection);
  connection->deleteLater();
}

void ReplicationServer::SSClientError(PacketConnection* connection, int error_code) {
  LogSocketError(SocketErrorEventName(static_cast<QAbstractSocket::SocketError>(error_code),
                                      connection->Socket().bytesToWrite() > 0),
                 error_code);
}

void ReplicationServer::LogSocketError(std::string_view event, int error_code) {
  host_.Log(Concat({"Wystąpił błąd: SSClientError ErrorEvent: "_cp, event,
                    " ErrorCode: ", std::to_string(error_code)}),
            kLogDiagnostic);
}

// ---- Inactivity sweep ------------------------------------------------------------------------

void ReplicationServer::tmrZombieTimer() {
  if (!host_.ServerMode() || Clients.empty()) return;
  tmrZombie.stop();
  try {
    const double limit = host_.Now() - kInactivityLimitDays;
    for (int i = static_cast<int>(Clients.size()) - 1; i >= 0; --i) {
      if (limit <= Clients[static_cast<std::size_t>(i)].OstAktyw) continue;
      host_.Log("Brak aktywności klienta "_cp + std::to_string(i + 1) +
                    " (> 01:00:00) usuwam klienta."_cp,
                kLogProgress);
      CloseSlot(i, true);
    }
  } catch (const std::exception& error) {
    host_.LogException("tmrZombie", error);
  }
  RestartTimer(tmrZombie, kZombieSweepIntervalMs);
}

}  // namespace tramolin
