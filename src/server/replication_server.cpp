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
// A host name comes from whoever runs the peer's reverse zone.
constexpr std::size_t kMaxHostNameLength = 255;
// Peers can provoke these lines at will: at most one every ten seconds of each kind.
constexpr double kThrottledLinePeriod = 10.0 / 86400;

constexpr std::array<std::string_view, 7> kSlotStatusNames = {
    "połączony"_cp,      "autoryzowanie"_cp, "zalogowany"_cp,    "czeka na dane"_cp,
    "przygotowywuje"_cp, "przetwarza"_cp,    "czeka na potw."_cp};

std::string Text(const QString& text) { return text.toStdString(); }

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
      handshakes_log_(kThrottledLinePeriod),
      peer_lines_(kThrottledLinePeriod),
      fleet_(host.Now()) {
  tmrZombie.setParent(this);
  connect(&tmrZombie, &QTimer::timeout, this, &ReplicationServer::tmrZombieTimer);
  RestartTimer(tmrZombie, kZombieSweepIntervalMs);
}

// The sessions go before the pool their workers belong to; their signals must not reach a server
// half destroyed.
ReplicationServer::~ReplicationServer() {
  StopSessions();
  workers_.reset();
}

void ReplicationServer::StopSessions() {
  slots_.clear();
  published_.reset();
  for (ClientSession* session : findChildren<ClientSession*>(Qt::FindDirectChildrenOnly)) {
    session->disconnect(this);
    if (PacketConnection* connection = session->Connection()) connection->disconnect(this);
    delete session;
  }
  if (workers_ == nullptr) return;
  workers_.reset();
  workers_ = std::make_unique<WorkerPool>(host_, *worker_database_, WorkerConcurrency());
}

int ReplicationServer::WorkerConcurrency() const {
  return settings_.workers > 0 ? settings_.workers : DefaultWorkerConcurrency();
}

void ReplicationServer::SetWorkerDatabase(WorkerDatabase database) {
  worker_database_ = std::move(database);
  workers_ = std::make_unique<WorkerPool>(host_, *worker_database_, WorkerConcurrency());
}

void ReplicationServer::Configure(const ServerSettings& settings) { settings_ = settings; }

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
  ShowActivity();
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

void ReplicationServer::SetActivityState(ServerState state) {
  if (hooks_.set_activity_state) hooks_.set_activity_state(state);
}

void ReplicationServer::WorkStarted(DatabaseWork work) {
  ++(work == DatabaseWork::kImporting ? importing_ : preparing_);
  ShowActivity();
}

void ReplicationServer::WorkEnded(DatabaseWork work) {
  --(work == DatabaseWork::kImporting ? importing_ : preparing_);
  ShowActivity();
}

// 3 while any session imports, 2 while any prepares, else 1; every change is shown once.
void ReplicationServer::ShowActivity() {
  const ServerState state = importing_ > 0   ? kServerProcessing
                            : preparing_ > 0 ? kServerPreparing
                                             : kServerReady;
  SetActivityState(state);
}

void ReplicationServer::RestartIdleDisconnect() {
  if (hooks_.restart_idle_disconnect) hooks_.restart_idle_disconnect(kIdleDisconnectIntervalMs);
}

// ---- Slots -----------------------------------------------------------------------------------

ClientSession* ReplicationServer::SessionAt(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= slots_.size()) return nullptr;
  return slots_[static_cast<std::size_t>(index)];
}

int ReplicationServer::IndexOf(const ClientSession& session) const {
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    if (slots_[i] == &session) return static_cast<int>(i);
  }
  return -1;
}

void ReplicationServer::AddSlot(ClientSession& session) {
  slots_.push_back(&session);
  published_.reset();
  if (hooks_.stop_idle_disconnect) hooks_.stop_idle_disconnect();
  UpdateClientGrid();
}

ClientSession& ReplicationServer::AddSlotWithoutConnection() {
  auto* session = new ClientSession(nullptr, {}, host_.Now(), this);
  AddSlot(*session);
  return *session;
}

void ReplicationServer::CloseSlot(int index, bool close_connection) {
  if (ClientSession* session = SessionAt(index)) CloseSession(*session, close_connection);
}

void ReplicationServer::CloseSession(ClientSession& session, bool close_connection) {
  const int index = IndexOf(session);
  if (index == -1) return;
  const TKlientInfo& slot = session.Slot();
  if (IsCopySlot(slot) && !slot.LastErrorMsg.empty()) {
    fleet_.RememberError(slot.DBNR, slot.LastErrorMsg);
  }
  slots_[static_cast<std::size_t>(index)] = slots_.back();
  slots_.pop_back();
  published_.reset();
  UpdateClientGrid();
  if (close_connection && session.Connection() != nullptr) {
    host_.Log("Zamykanie połączenia ("_cp + session.PeerText() + ")", kLogProgress);
    session.Connection()->Close();
  }
}

void ReplicationServer::TakeOver(ClientSession& earlier, ClientSession& session) {
  const int earlier_index = IndexOf(earlier);
  const int index = IndexOf(session);
  if (earlier_index == -1 || index == -1) return;
  TKlientInfo slot = earlier.Slot();
  slot.Status = SlotStatus::kAuthorising;
  slot.Odbieranie = false;
  slot.OstAktyw = host_.Now();
  session.Slot() = std::move(slot);
  session.AdoptWorker(earlier);
  // The session takes the earlier one's place; its own place goes as a removed slot's does.
  slots_[static_cast<std::size_t>(earlier_index)] = &session;
  slots_[static_cast<std::size_t>(index)] = slots_.back();
  slots_.pop_back();
  published_.reset();
  UpdateClientGrid();
  if (earlier.Connection() != nullptr) earlier.Connection()->Close();
}

void ReplicationServer::SetSlotStatus(ClientSession& session, SlotStatus status) {
  session.Slot().Status = status;
  if (status == SlotStatus::kLoggedIn) session.Slot().Autoryzowany = true;
  SlotChanged(session);
}

void ReplicationServer::SlotChanged(ClientSession& session) {
  published_.reset();
  const int index = IndexOf(session);
  if (index != -1) RefreshClientRow(index);
}

void ReplicationServer::RecallCopyError(ClientSession& session) {
  if (auto error = fleet_.RememberedError(session.Slot().DBNR)) {
    session.Slot().LastErrorMsg = std::move(*error);
  }
}

void ReplicationServer::ClearCopyError(ClientSession& session) {
  if (session.Slot().LastErrorMsg.empty()) return;
  session.Slot().LastErrorMsg.clear();
  fleet_.ClearError(session.Slot().DBNR);
  SlotChanged(session);
}

void ReplicationServer::ExchangeSucceeded(ClientSession& session) {
  if (!IsCopySlot(session.Slot())) return;
  fleet_.Exchanged(session.Slot().DBNR, host_.Now());
  SlotChanged(session);
}

void ReplicationServer::BacklogCounted(ClientSession& session, std::int64_t entries) {
  if (IsCopySlot(session.Slot())) fleet_.BacklogSeen(session.Slot().DBNR, entries, host_.Now());
}

ClientSession* ReplicationServer::CopySession(int copy) const {
  for (ClientSession* session : slots_) {
    if (IsCopySlot(session->Slot()) && session->Slot().DBNR == copy) return session;
  }
  return nullptr;
}

TableChecks& ReplicationServer::Checks() { return exchange_->Checks(); }

std::vector<CopyStatus> ReplicationServer::Copies() const {
  return fleet_.Copies(*Clients(), host_.Now());
}

SlotSnapshot ReplicationServer::Clients() const {
  if (published_ == nullptr) {
    auto copies = std::make_shared<std::vector<TKlientInfo>>();
    copies->reserve(slots_.size());
    for (const ClientSession* session : slots_) {
      copies->push_back(session->Slot());
      copies->back().LastExchange = fleet_.LastExchange(session->Slot().DBNR);
    }
    published_ = std::move(copies);
  }
  return published_;
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
  if (ClientSession* session = SessionAt(slot)) ShowProgress(*session, percent);
}

void ReplicationServer::ShowProgress(ClientSession& session, int percent) {
  session.Slot().Postep = percent;
  published_.reset();
  if (++progress_calls_ % kProgressRefreshEvery == 0 || percent == 0) SlotChanged(session);
}

void ReplicationServer::SetErrorText(int slot, std::string_view text) {
  if (slot < 0) {
    local_error_text_ = text;
  } else if (ClientSession* session = SessionAt(slot)) {
    session->Slot().LastErrorMsg = text;
    published_.reset();
  }
}

std::string ReplicationServer::GetErrorText(int slot) const {
  if (slot < 0) return local_error_text_;
  const ClientSession* session = SessionAt(slot);
  return session != nullptr ? session->Slot().LastErrorMsg : std::string();
}

int ReplicationServer::GetSlotDBNR(int slot) const {
  const ClientSession* session = SessionAt(slot);
  return session != nullptr ? session->Slot().DBNR : -1;
}

int ReplicationServer::GetSlotLastTransID(int slot) const {
  const ClientSession* session = SessionAt(slot);
  return session != nullptr ? session->Slot().LastTransID : -1;
}

// ---- Sending ---------------------------------------------------------------------------------

void ReplicationServer::BroadcastLog(std::string_view text, int level) {
  const std::string payload = BuildCommandReply(ForwardedLogLine(level, text));
  for (ClientSession* session : std::vector<ClientSession*>(slots_)) {
    const TKlientInfo& slot = session->Slot();
    if (slot.Nasluch && slot.Autoryzowany && slot.Serwisant == 1) {
      session->Send(pkPolecenie, payload, host_.Closing());
    }
  }
}

void ReplicationServer::AnnounceDatabaseUpgrade() {
  host_.Log("Aktualizacja struktury głównej bazy danych. Rozłączanie wszystkich klientów."_cp,
            kLogProgress);
  for (ClientSession* session : std::vector<ClientSession*>(slots_)) {
    session->Send(pkAktualizacja, "", host_.Closing());
  }
}

// ---- Acceptance ------------------------------------------------------------------------------

void ReplicationServer::SSClientConnect(QTcpSocket* raw_socket) {
  std::unique_ptr<QTcpSocket> socket(raw_socket);
  const QString address = socket->peerAddress().toString();
  ClientSession& session = Wrap(std::move(socket));
  const PreLoginGate::Admission admission =
      pre_login_.Admit(&session, Text(address), IsLoopback(QHostAddress(address)));
  if (!admission.admitted || admission.evicted != nullptr) RefuseBeyondLimit(address);
  if (!admission.admitted) {
    session.Connection()->Abort();
    return;
  }
  if (admission.evicted != nullptr) {
    const auto* evicted = static_cast<const ClientSession*>(admission.evicted);
    for (ClientSession* other : findChildren<ClientSession*>(Qt::FindDirectChildrenOnly)) {
      if (other == evicted && other->Connection() != nullptr) other->Connection()->Abort();
    }
  }
  PacketConnection* connection = session.Connection();
  if (connection->state() == PacketConnection::State::kOpen) {
    ResolvePeer(session);
  } else {
    connect(connection, &PacketConnection::connected, &session,
            [this, &session] { ResolvePeer(session); });
  }
}

// A connection not logged in is held to the small frames and reads of a stranger, and what it
// sends waits until it has been greeted.
ClientSession& ReplicationServer::Wrap(std::unique_ptr<QTcpSocket> socket) {
  QTcpSocket* raw = socket.get();
  PeerInfo peer{{}, raw->peerAddress().toString(), raw->peerPort()};
  auto* connection = new PacketConnection(std::move(socket), &traffic_, kPreLoginFrameLimit);
  auto* session = new ClientSession(connection, std::move(peer), host_.Now(), this);
  connection->SetKeepAlive(settings_.keep_alive);
  connection->HoldIncoming();
  connection->BoundIncoming(true);
  connect(connection, &PacketConnection::packetReceived, session,
          [this, session](std::uint8_t type, const std::string& payload) {
            SSClientRead(*session, type, payload);
          });
  connect(connection, &PacketConnection::overflowed, session,
          [this, session] { SSClientOverflow(*session); });
  connect(connection, &PacketConnection::corruptPacket, session,
          [this, session] { SSClientCorrupt(*session); });
  connect(connection, &PacketConnection::disconnected, session,
          [this, session] { SSClientDisconnect(*session); });
  connect(raw, &QTcpSocket::errorOccurred, session,
          [this, session](QAbstractSocket::SocketError error) {
            SSClientError(*session, static_cast<int>(error));
          });
  connect(session, &ClientSession::progressChanged, this,
          [this, session](int percent) { ShowProgress(*session, percent); });
  QTimer::singleShot(timings_.login_deadline_ms, session,
                     [this, session] { CloseIfNotLoggedIn(*session); });
  return *session;
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

void ReplicationServer::ResolvePeer(ClientSession& session) {
  const QPointer<ClientSession> alive(&session);
  resolver_->Resolve(QHostAddress(session.Peer().address), &session,
                     [this, alive](const QString& host) {
                       if (!alive.isNull()) AcceptResolved(*alive, host);
                     });
}

void ReplicationServer::AcceptResolved(ClientSession& session, const QString& host) {
  if (IndexOf(session) != -1 || session.Connection()->state() == PacketConnection::State::kClosed) {
    return;
  }
  session.Peer().host = QString::fromStdString(LoggablePeerText(Text(host), kMaxHostNameLength));
  host_.Log("Przychodzące połączenie ("_cp + session.PeerText() + ")", kLogProgress);
  if (IsAddressAllowed(Text(session.Peer().host), Text(session.Peer().address))) {
    AdmitConnection(session);
  } else {
    RefuseConnection(session);
    ShowActivity();
  }
}

void ReplicationServer::AdmitConnection(ClientSession& session) {
  AddSlot(session);
  // The client reads the answer once its own connection event is done; a short pause, never a
  // sleep of the event loop.
  QTimer::singleShot(timings_.accept_delay_ms, &session,
                     [this, &session] { SendAcceptance(session); });
}

// What the client sent before it was greeted is taken only now, so that nothing it sends is
// answered before the greeting.
void ReplicationServer::SendAcceptance(ClientSession& session) {
  if (IndexOf(session) == -1) return;
  session.Send(pkPolaczenie, BuildConnectionResult(kConnectionAccepted), host_.Closing());
  host_.Log("Połączenie zaakceptowane ("_cp + session.PeerText() + ")", kLogProgress);
  ShowActivity();
  session.Connection()->ReleaseIncoming();
}

void ReplicationServer::ConnectionLoggedIn(ClientSession& session) {
  pre_login_.Remove(&session);
  if (PacketConnection* connection = session.Connection()) {
    connection->SetFrameLimit(settings_.frame_limit);
    connection->BoundIncoming(false);
  }
}

bool ReplicationServer::FromLoopback(const ClientSession& session) {
  return IsLoopback(QHostAddress(session.Peer().address));
}

void ReplicationServer::RefuseConnection(ClientSession& session) {
  PacketConnection* connection = session.Connection();
  connection->SendFrame(
      BuildPacket(pkPolaczenie, BuildConnectionResult(kConnectionRefused), host_.Closing()));
  host_.Log("Połączenie odrzucone ("_cp + session.PeerText() + ") - nieznany host", kLogProgress);
  // The peer is expected to go on reading the refusal; one that stays is cut off.
  QTimer::singleShot(timings_.refusal_grace_ms, connection, [connection] {
    if (connection->state() != PacketConnection::State::kClosed) connection->Abort();
  });
}

void ReplicationServer::CloseIfNotLoggedIn(ClientSession& session) {
  const int index = IndexOf(session);
  if (index == -1) {
    session.Connection()->Abort();  // still in its handshake or its host name look-up
    return;
  }
  if (session.Slot().Autoryzowany) return;
  host_.Log("Klient "_cp + std::to_string(index + 1) + " nie zalogował się w wyznaczonym czasie"_cp,
            kLogProgress);
  CloseSession(session, true);
}

// ---- Connection events -----------------------------------------------------------------------

void ReplicationServer::SSClientRead(ClientSession& session, std::uint8_t type,
                                     const std::string& payload) {
  const int index = IndexOf(session);
  if (index == -1) return;  // a refused peer, or one whose slot went: dropped
  session.Slot().Odebrano += session.TakeReceivedBytes();
  session.Slot().OstAktyw = host_.Now();
  published_.reset();
  RefreshClientRow(index);
  if (!WithinPreLoginBudget(session)) return;
  try {
    exchange_->Dispatch(session, type, payload);
  } catch (const std::exception& error) {
    host_.LogException("SS", error);
  }
}

// Before the login a stranger could fill the log with corrupt frames: their lines are bounded as
// the other lines it provokes are, except that the line keeps the form of an uncaught error and
// does not tell how many were withheld.
void ReplicationServer::SSClientCorrupt(ClientSession& session) {
  if (IndexOf(session) == -1) return;  // as SSClientRead drops its packets
  int held_back = 0;
  if (!session.Slot().Autoryzowany &&
      (!WithinPreLoginBudget(session) ||
       !AllowPeerLine(session, PeerLine::kCorruptFrame, held_back))) {
    return;
  }
  host_.LogException("SS", CorruptPayloadError());
}

bool ReplicationServer::WithinPreLoginBudget(ClientSession& session) {
  if (session.Slot().Autoryzowany || session.CountPacketBeforeLogin()) return true;
  LogFromPeer(session, PeerLine::kBeyondBudget,
              Concat({"Klient nr "_cp, std::to_string(IndexOf(session) + 1),
                      " przysłał za dużo danych przed zalogowaniem (najwyżej "_cp,
                      std::to_string(PreLoginGate::kPacketsBeforeLogin), " pakietów, "_cp,
                      std::to_string(PreLoginGate::kBytesBeforeLogin / 1024), " KiB)"}),
              kLogProgress);
  CloseSession(session, true);
  return false;
}

bool ReplicationServer::AllowPeerLine(const ClientSession& session, PeerLine kind, int& held_back) {
  const std::string key =
      Text(session.Peer().address) + "/" + std::to_string(static_cast<int>(kind));
  return peer_lines_.Allow(key, host_.Now(), held_back);
}

void ReplicationServer::LogFromPeer(const ClientSession& session, PeerLine kind, std::string line,
                                    int level) {
  int held_back = 0;
  if (!AllowPeerLine(session, kind, held_back)) return;
  host_.Log(line + HeldBackText(held_back), level);
}

void ReplicationServer::SSClientOverflow(ClientSession& session) {
  const int index = IndexOf(session);
  if (index == -1) {
    session.Connection()->Abort();
    return;
  }
  try {
    host_.Log("", kLogStatus);
    host_.Log("Przepełenienie przy odbieraniu danych od klienta nr "_cp + std::to_string(index),
              kLogProgress);
    session.Send(pkBlad, BuildErrorReport(kErrorReceiveOverflow, ""), host_.Closing());
    CloseSession(session, true);
  } catch (const std::exception& error) {
    host_.Log(Concat({"Błąd w czasie raportowania przepełenienia przy odbieraniu danych od "
                      "klienta nr "_cp,
                      std::to_string(index), ": \"", error.what(), "\""}),
              kLogProgress);
  }
}

void ReplicationServer::SSClientDisconnect(ClientSession& session) {
  const int index = IndexOf(session);
  if (index != -1) {
    CloseSession(session, false);
    host_.Log("Klient "_cp + std::to_string(index + 1) + " przerywa połączenie ("_cp +
                  session.PeerText() + ")",
              kLogProgress);
  }
  if (slots_.empty()) RestartIdleDisconnect();
  pre_login_.Remove(&session);
  session.deleteLater();
}

void ReplicationServer::SSClientError(ClientSession& session, int error_code) {
  PacketConnection* connection = session.Connection();
  const bool writing = connection != nullptr && connection->Socket().bytesToWrite() > 0;
  LogSocketError(
      SocketErrorEventName(static_cast<QAbstractSocket::SocketError>(error_code), writing),
      error_code);
}

void ReplicationServer::LogSocketError(std::string_view event, int error_code) {
  host_.Log(Concat({"Wystąpił błąd: SSClientError ErrorEvent: "_cp, event,
                    " ErrorCode: ", std::to_string(error_code)}),
            kLogDiagnostic);
}

// ---- Inactivity sweep ------------------------------------------------------------------------

void ReplicationServer::tmrZombieTimer() {
  if (!host_.ServerMode() || slots_.empty()) return;
  tmrZombie.stop();
  try {
    const double limit = host_.Now() - kInactivityLimitDays;
    for (int i = static_cast<int>(SlotCount()) - 1; i >= 0; --i) {
      ClientSession& session = *slots_[static_cast<std::size_t>(i)];
      if (limit <= session.Slot().OstAktyw) continue;
      host_.Log("Brak aktywności klienta "_cp + std::to_string(i + 1) +
                    " (> 01:00:00) usuwam klienta."_cp,
                kLogProgress);
      CloseSession(session, true);
    }
  } catch (const std::exception& error) {
    host_.LogException("tmrZombie", error);
  }
  RestartTimer(tmrZombie, kZombieSweepIntervalMs);
}

}  // namespace tramolin
