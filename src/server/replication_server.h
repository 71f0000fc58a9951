// The replication server: the listening socket, one session per accepted connection (server/
// client_session.h), the acceptance rules and the limits strangers meet before they log in, the
// slots in their order, the inactivity sweep, and the copies of the slots the client grid and the
// reports read. The exchange works on sessions (exchange_handler.h); their database work runs on
// workers of the pool, never on the event loop.
//
// Slots are numbered as the client grid and the log show them: by position, the last slot
// taking the place of one that goes.
#pragma once

#include <QObject>
#include <QSslSocket>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/host_services.h"
#include "engine/slot_book.h"
#include "net/keep_alive.h"
#include "net/packet_listener.h"
#include "protocol/frame.h"
#include "protocol/packet_types.h"
#include "protocol/traffic_counters.h"
#include "server/client_session.h"
#include "server/client_slot.h"
#include "server/client_validation.h"
#include "server/fleet_book.h"
#include "server/pre_login_gate.h"
#include "server/server_hooks.h"
#include "server/server_state.h"
#include "util/log_throttle.h"
#include "worker/worker_pool.h"

namespace tramolin {

class ExchangeHandler;
class HostNameResolver;
class PacketConnection;
class TechnicianCommandSink;

struct ServerSettings {
  std::vector<std::string> allow_list;  // wildcard masks; empty accepts everyone
  std::string exempt_address;           // accepted like the loopback; empty for none
  std::string access_key;               // every authentication must carry it; empty for none
  std::string tls_certificate{};        // PEM files; with both set the server speaks TLS only
  std::string tls_key{};
  std::size_t frame_limit = kDefaultFrameLimit;  // once logged in; before, kPreLoginFrameLimit
  KeepAlive keep_alive{};
  int workers = 0;  // database jobs at once; 0: one per core
};

// Waits of the acceptance; tests shorten them.
struct ServerTimings {
  int accept_delay_ms = 100;          // before pkPolaczenie "0" goes out
  int refusal_grace_ms = 5000;        // a refused peer that keeps its connection is cut off
  int login_deadline_ms = 60'000;     // a connection not logged in by then is closed
  int handshake_timeout_ms = 10'000;  // a TLS peer that stalls its handshake is closed
};

// The slots as the client grid and the reports read them, in slot order.
using SlotSnapshot = std::shared_ptr<const std::vector<TKlientInfo>>;

// What the server's database work is doing: preparing a batch (state 2) wins over nothing, and
// importing one (state 3) over preparing.
enum class DatabaseWork { kPreparing, kImporting };

class ReplicationServer : public QObject, public SlotBook {
  Q_OBJECT

 public:
  explicit ReplicationServer(HostServices& host, QObject* parent = nullptr);
  ~ReplicationServer() override;

  // Wiring; every pointer is not owned and must outlive the server (or be reset).
  // Where the sessions' workers connect. Without it every database step fails as a missing
  // database would.
  void SetWorkerDatabase(WorkerDatabase database);
  // Every session goes at once, and their workers end (waited for): the database is let go.
  void StopSessions();
  void SetHooks(ServerHooks hooks) { hooks_ = std::move(hooks); }
  void SetView(ClientGridView* view);
  void SetTechnicianSink(TechnicianCommandSink* sink) { technician_sink_ = sink; }
  void SetResolver(HostNameResolver* resolver);
  void SetTimings(const ServerTimings& timings) { timings_ = timings; }
  void Configure(const ServerSettings& settings);
  void SetIdentity(ServerIdentity identity) { identity_ = std::move(identity); }

  // The listening socket on every IPv4 address; port 0 takes a free one (ListeningPort tells).
  // Logs "Nasłuchiwanie na porcie <port>" when it listens, and a warning when no access key
  // guards it. TLS only when the settings name a certificate and key; false (and logged) when
  // they cannot be used.
  bool Listen(quint16 port);
  quint16 ListeningPort() const { return SS ? SS->serverPort() : 0; }

  // SlotBook of the connection of the start of work: a negative index stands for the program-wide
  // error text and progress; a slot's values are its session's.
  void SetProgress(int slot, int percent) override;
  void SetErrorText(int slot, std::string_view text) override;
  std::string GetErrorText(int slot) const override;
  int GetSlotDBNR(int slot) const override;
  int GetSlotLastTransID(int slot) const override;

  // The slots. An index out of range finds nothing and changes nothing.
  std::size_t SlotCount() const { return slots_.size(); }
  ClientSession* SessionAt(int index) const;
  // The logged-in session of a copy; null when the copy is not connected.
  ClientSession* CopySession(int copy) const;
  // The session's slot index; -1 when it has none (not admitted yet, or gone).
  int IndexOf(const ClientSession& session) const;
  // A slot for the session, after the last one.
  void AddSlot(ClientSession& session);
  // A slot whose session has no connection (the slot operations' tests).
  ClientSession& AddSlotWithoutConnection();
  // Removes the slot (the last slot moves into its place) and, when asked, closes its connection.
  void CloseSlot(int index, bool close_connection);
  void CloseSession(ClientSession& session, bool close_connection);
  // The session takes the place, the start time and the counters of an earlier session of the
  // same copy; the earlier one's connection is closed.
  void TakeOver(ClientSession& earlier, ClientSession& session);
  void SetSlotStatus(ClientSession& session, SlotStatus status);
  // The session's row changed; the grid is told.
  void SlotChanged(ClientSession& session);
  bool IsAddressAllowed(std::string_view host, std::string_view address) const;
  // A copy's last failure outlives its slot: a slot that goes with an error text leaves it with
  // the copy, the copy's next slot shows it again, and an exchange that succeeds clears it.
  void RecallCopyError(ClientSession& session);
  void ClearCopyError(ClientSession& session);
  // What the fleet's status shows of a copy: an exchange with it succeeded (a batch confirmed or
  // imported, or nothing to move either way), or its backlog was counted for a batch.
  void ExchangeSucceeded(ClientSession& session);
  void BacklogCounted(ClientSession& session, std::int64_t entries);
  // Every copy known, for the reports and a monitoring tool; the fleet's counts of the whole
  // journal are made by whoever asks (the technician's port).
  std::vector<CopyStatus> Copies() const;
  FleetBook& Fleet() { return fleet_; }
  TableChecks& Checks();
  // The slots as they are now, for the grid and the reports.
  SlotSnapshot Clients() const;
  bool HasClients() const { return !slots_.empty(); }
  int Progress() const { return progress_; }

  // The session has logged in: it no longer counts against the limits of strangers and may send
  // frames of the full size.
  void ConnectionLoggedIn(ClientSession& session);
  // Whether the session's peer is this computer (127.0.0.1 or ::1).
  static bool FromLoopback(const ClientSession& session);

  // Lines a peer can provoke at will, each kind bounded apart.
  enum class PeerLine { kIgnoredPacket, kCorruptFrame, kBeyondBudget };
  // Logs a line of the kind only when none of it came from the session's address in the last ten
  // seconds; the line then tells how many were withheld meanwhile.
  void LogFromPeer(const ClientSession& session, PeerLine kind, std::string line, int level);

  // Forwards a log line to every technician slot that asked for it, in slot order.
  void BroadcastLog(std::string_view text, int level);
  // The main database's structure is about to be upgraded: every connected client is told to
  // let go (an empty pkAktualizacja, in slot order).
  void AnnounceDatabaseUpgrade();

  // What the exchange works with.
  HostServices& Host() { return host_; }
  WorkerPool* Workers() { return workers_.get(); }
  const ServerIdentity& Identity() const { return identity_; }
  void RefreshDatabaseVersion(std::string version) {
    identity_.database_version = std::move(version);
  }
  const ServerSettings& Settings() const { return settings_; }
  TechnicianCommandSink* TechnicianSink() { return technician_sink_; }
  void RestartIdleDisconnect();
  const TrafficCounters& Traffic() const { return traffic_; }
  // Database work of a session begins or ends; the program's activity state follows all of it.
  void WorkStarted(DatabaseWork work);
  void WorkEnded(DatabaseWork work);
  // Shows the activity state the work of every session gives (1 when none works).
  void ShowActivity();
  // Announced to the program around through the hooks.
  void SetActivityState(ServerState state);

  // The inactivity sweep of the slots (every 15 minutes): a slot silent for over an hour goes.
  QTimer tmrZombie;
  void tmrZombieTimer();

  std::unique_ptr<PacketListener> SS;  // null until Listen

 private:
  std::unique_ptr<PacketListener> MakeListener();
  void WarnWhenOpenToEveryone();
  void HandshakeFailed(QSslSocket* socket, const QString& reason);

  // Socket events.
  void SSClientConnect(QTcpSocket* socket);
  ClientSession& Wrap(std::unique_ptr<QTcpSocket> socket);
  void RefuseBeyondLimit(const QString& address);
  void ResolvePeer(ClientSession& session);
  void AcceptResolved(ClientSession& session, const QString& host);
  void AdmitConnection(ClientSession& session);
  void SendAcceptance(ClientSession& session);
  void RefuseConnection(ClientSession& session);
  void CloseIfNotLoggedIn(ClientSession& session);
  void SSClientRead(ClientSession& session, std::uint8_t type, const std::string& payload);
  void SSClientCorrupt(ClientSession& session);
  // False, and the session closed, when a session not logged in sent more than a stranger may.
  bool WithinPreLoginBudget(ClientSession& session);
  bool AllowPeerLine(const ClientSession& session, PeerLine kind, int& held_back);
  void SSClientOverflow(ClientSession& session);
  void SSClientDisconnect(ClientSession& session);
  void SSClientError(ClientSession& session, int error_code);
  void LogSocketError(std::string_view event, int error_code);
  void ShowProgress(ClientSession& session, int percent);
  void UpdateClientGrid();
  void RefreshClientRow(int index);

  HostServices& host_;
  ServerHooks hooks_;
  NullClientGridView null_view_;
  ClientGridView* view_ = &null_view_;
  TechnicianCommandSink* technician_sink_ = nullptr;
  std::unique_ptr<HostNameResolver> system_resolver_;
  HostNameResolver* resolver_;
  ServerTimings timings_;
  ServerSettings settings_;
  ServerIdentity identity_;
  int WorkerConcurrency() const;

  std::optional<WorkerDatabase> worker_database_;
  std::unique_ptr<WorkerPool> workers_;
  std::unique_ptr<ExchangeHandler> exchange_;
  std::vector<ClientSession*> slots_;  // in slot order; the sessions are children of the server
  mutable SlotSnapshot published_;     // null while a slot changed since it was made
  PreLoginGate pre_login_;
  LogThrottle refusals_log_;
  LogThrottle handshakes_log_;
  KeyedLogThrottle peer_lines_;
  TrafficCounters traffic_;
  std::string local_error_text_;
  int progress_ = 0;
  int preparing_ = 0;  // sessions preparing a batch now
  int importing_ = 0;  // sessions importing one
  std::uint64_t progress_calls_ = 0;
  FleetBook fleet_;
};

}  // namespace tramolin
