// The replication server: the listening socket, one slot per accepted client connection, the
// acceptance rules, the inactivity sweep and the slot operations the exchange and the data
// engine use (the engine reports into the slots through the SlotBook it implements).
//
// A slot is addressed by its index, which moves when another slot is removed (the last slot takes
// the removed one's place). Whoever has called into the engine, the log or the network since it
// looked up its slot looks it up again (FindSlot) before it writes to the connection.
#pragma once

#include <QObject>
#include <QSslSocket>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/host_services.h"
#include "engine/slot_book.h"
#include "net/keep_alive.h"
#include "net/packet_listener.h"
#include "protocol/frame.h"
#include "protocol/packet_types.h"
#include "protocol/traffic_counters.h"
#include "server/client_slot.h"
#include "server/client_validation.h"
#include "server/pre_login_gate.h"
#include "server/server_hooks.h"
#include "util/log_throttle.h"

namespace tramolin {

class ExchangeHandler;
class HostNameResolver;
class PacketConnection;
class ReplicationData;
class TechnicianCommandSink;

struct ServerSettings {
  std::vector<std::string> allow_list;  // wildcard masks; empty accepts everyone
  std::string exempt_address;           // accepted like the loopback; empty for none
  std::string access_key;               // every authentication must carry it; empty for none
  std::string tls_certificate{};        // PEM files; with both set the server speaks TLS only
  std::string tls_key{};
  std::size_t frame_limit = kDefaultFrameLimit;  // once logged in; before, kPreLoginFrameLimit
  KeepAlive keep_alive{};
};

// Waits of the acceptance; tests shorten them.
struct ServerTimings {
  int accept_delay_ms = 100;          // before pkPolaczenie "0" goes out
  int refusal_grace_ms = 5000;        // a refused peer that keeps its connection is cut off
  int login_deadline_ms = 60'000;     // a connection not logged in by then is closed
  int handshake_timeout_ms = 10'000;  // a TLS peer that stalls its handshake is closed
};

class ReplicationServer : public QObject, public SlotBook {
  Q_OBJECT

 public:
  explicit ReplicationServer(HostServices& host, QObject* parent = nullptr);
  ~ReplicationServer() override;

  // Wiring; every pointer is not owned and must outlive the server (or be reset).
  void AttachDatabase(ReplicationData* data) { data_ = data; }
  void SetHooks(ServerHooks hooks) { hooks_ = std::move(hooks); }
  void SetView(ClientGridView* view);
  void SetTechnicianSink(TechnicianCommandSink* sink) { technician_sink_ = sink; }
  void SetResolver(HostNameResolver* resolver);
  void SetTimings(const ServerTimings& timings) { timings_ = timings; }
  void Configure(ServerSettings settings) { settings_ = std::move(settings); }
  void SetIdentity(ServerIdentity identity) { identity_ = std::move(identity); }

  // The listening socket on every IPv4 address; port 0 takes a free one (ListeningPort tells).
  // Logs "Nasłuchiwanie na porcie <port>" when it listens, and a warning when no access key
  // guards it. TLS only when the settings name a certificate and key; false (and logged) when
  // they cannot be used.
  bool Listen(quint16 port);
  quint16 ListeningPort() const { return SS ? SS->serverPort() : 0; }

  // SlotBook. A negative index stands for the program-wide error text and progress; an index
  // beyond the last slot reads as empty or -1 and is not written.
  void SetProgress(int slot, int percent) override;
  void SetErrorText(int slot, std::string_view text) override;
  std::string GetErrorText(int slot) const override;
  int GetSlotDBNR(int slot) const override;
  int GetSlotLastTransID(int slot) const override;

  // Slot operations; an index out of range does nothing or reads as the default.
  int AddSlot(PacketConnection* connection);
  int FindSlot(const PacketConnection* connection) const;
  // Removes the slot (the last slot moves into its place) and, when asked, closes its connection
  // unless another slot has taken it over.
  void CloseSlot(int index, bool close_connection);
  void SetSlotStatus(int index, SlotStatus status);
  void SetSlotReceiving(int index, bool receiving);
  bool IsSlotReceiving(int index) const;
  void TouchSlot(int index);
  bool SlotSendsDataFirst(int index) const;
  void SetSlotLastTransID(int index, int marker);
  void SetSlotRemoteChanges(int index, int count);
  void SetSlotLocalChanges(int index, int count);
  void SetSlotLogging(int index, bool forward);
  void AddSlotBytesReceived(int index, std::int64_t count);
  bool IsAddressAllowed(std::string_view host, std::string_view address) const;
  // A copy's last failure outlives its slot: a slot that goes with an error text leaves it with
  // the copy, the copy's next slot shows it again, and an exchange that succeeds clears it.
  void RecallCopyError(int index);
  void ClearCopyError(int index);
  void UpdateClientGrid();
  void RefreshClientRow(int index);
  bool HasClients() const { return !Clients.empty(); }
  int Progress() const { return progress_; }

  // The connection has logged in: it no longer counts against the limits of strangers and may
  // send frames of the full size.
  void ConnectionLoggedIn(PacketConnection* connection);
  // Whether the connection's peer is this computer (127.0.0.1 or ::1).
  bool FromLoopback(const PacketConnection* connection) const;

  // Builds the packet and writes it to the slot's connection; false when nothing was written.
  bool SendPacket(int index, PacketType type, std::string_view payload);
  // "host/address:port" of a connection this server accepted ("" when unknown).
  std::string PeerText(const PacketConnection* connection) const;
  // "host/address" of a connection.
  std::string PeerHostAndAddress(const PacketConnection* connection) const;

  // Forwards a log line to every technician slot that asked for it, in slot order.
  void BroadcastLog(std::string_view text, int level);
  // The main database's structure is about to be upgraded: every connected client is told to
  // let go (an empty pkAktualizacja, in slot order).
  void AnnounceDatabaseUpgrade();

  // What the exchange works with.
  HostServices& Host() { return host_; }
  ReplicationData* Data() { return data_; }
  const ServerIdentity& Identity() const { return identity_; }
  void RefreshDatabaseVersion(std::string version) {
    identity_.database_version = std::move(version);
  }
  const ServerSettings& Settings() const { return settings_; }
  TechnicianCommandSink* TechnicianSink() { return technician_sink_; }
  void SetActivityState(int state);
  void RestartIdleDisconnect();
  const TrafficCounters& Traffic() const { return traffic_; }

  // The inactivity sweep of the slots (every 15 minutes): a slot silent for over an hour goes.
  QTimer tmrZombie;
  void tmrZombieTimer();

  std::unique_ptr<PacketListener> SS;  // null until Listen
  std::vector<TKlientInfo> Clients;

 private:
  struct Peer {
    QString host;
    QString address;
    quint16 port = 0;
    std::uint64_t counted_received = 0;  // bytes already added to the slot
  };

  TKlientInfo* Slot(int index);
  const TKlientInfo* Slot(int index) const;

  std::unique_ptr<PacketListener> MakeListener();
  void WarnWhenOpenToEveryone();
  void HandshakeFailed(QSslSocket* socket, const QString& reason);

  // Socket events.
  void SSClientConnect(QTcpSocket* socket);
  PacketConnection* Wrap(std::unique_ptr<QTcpSocket> socket);
  void RefuseBeyondLimit(const QString& address);
  void ResolvePeer(PacketConnection* connection);
  void AcceptResolved(PacketConnection* connection, const QString& host);
  void AdmitConnection(PacketConnection* connection);
  void SendAcceptance(PacketConnection* connection);
  void RefuseConnection(PacketConnection* connection);
  void CloseIfNotLoggedIn(PacketConnection* connection);
  void SSClientRead(PacketConnection* connection, std::uint8_t type, const std::string& payload);
  void SSClientOverflow(PacketConnection* connection);
  void SSClientDisconnect(PacketConnection* connection);
  void SSClientError(PacketConnection* connection, int error_code);
  void LogSocketError(std::string_view event, int error_code);
  void CountReceivedBytes(PacketConnection* connection, int index);
  void CloseConnection(PacketConnection* connection);

  HostServices& host_;
  ReplicationData* data_ = nullptr;
  ServerHooks hooks_;
  NullClientGridView null_view_;
  ClientGridView* view_ = &null_view_;
  TechnicianCommandSink* technician_sink_ = nullptr;
  std::unique_ptr<HostNameResolver> system_resolver_;
  HostNameResolver* resolver_;
  ServerTimings timings_;
  ServerSettings settings_;
  ServerIdentity identity_;
  std::unique_ptr<ExchangeHandler> exchange_;
  std::unordered_map<const PacketConnection*, Peer> peers_;
  std::unordered_map<int, std::string> copy_errors_;  // by copy number
  PreLoginGate pre_login_;
  LogThrottle refusals_log_;
  LogThrottle handshakes_log_;
  TrafficCounters traffic_;
  std::string local_error_text_;
  int progress_ = 0;
  std::uint64_t progress_calls_ = 0;
  std::uint64_t received_calls_ = 0;
};

}  // namespace tramolin
