// One client connection as the server serves it: the connection, the slot it shows, the peer,
// and its database worker, through which the exchange's work for this client runs one job after
// another on the threads of the server's pool (made on first use). While a job runs, what the
// client sends waits, so that the client's packets are handled in the order they came. Lives on
// the event loop's thread.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "engine/sending_cycle.h"
#include "protocol/packet_types.h"
#include "server/client_slot.h"
#include "server/table_check.h"
#include "worker/engine_worker.h"

namespace tramolin {

class PacketConnection;
class WorkerPool;

struct PeerInfo {
  QString host;  // by reverse look-up; empty when unknown
  QString address;
  quint16 port = 0;
};

class ClientSession : public QObject {
  Q_OBJECT

 public:
  // Takes the connection (which may be null for a slot without one).
  ClientSession(PacketConnection* connection, PeerInfo peer, double now, QObject* parent = nullptr);
  ~ClientSession() override;

  PacketConnection* Connection() const { return connection_; }
  TKlientInfo& Slot() { return slot_; }
  const TKlientInfo& Slot() const { return slot_; }
  PeerInfo& Peer() { return peer_; }
  const PeerInfo& Peer() const { return peer_; }
  // "host/address" and "host/address:port".
  std::string PeerHostAndAddress() const;
  std::string PeerText() const;

  // Builds the packet and writes it to the connection; false when nothing was written.
  bool Send(PacketType type, std::string_view payload, bool closing);
  // Writes a packet built beforehand (BuildPacket); false when nothing was written.
  bool SendFrame(std::string_view frame);
  // The bytes received since the last call.
  std::int64_t TakeReceivedBytes();
  // Counts a packet, a corrupt one too, that came before the login; false once the connection
  // has sent more packets or bytes than a stranger may (PreLoginGate).
  bool CountPacketBeforeLogin();

  // The table check under way with this copy, if any.
  std::unique_ptr<RunningCheck>& Check() { return check_; }

  // The cycle of the server's batches to this client.
  SendingCycle& Outgoing() { return outgoing_; }

  // The worker of this session's database work, made with the pool on first use.
  EngineWorker& Worker(WorkerPool& pool);
  // A session that takes over an earlier one of the same copy takes its worker too, so that the
  // copy's work stays in one queue.
  void AdoptWorker(ClientSession& earlier);

  // Runs `work` on the worker; meanwhile the client's packets wait. `done` runs on this thread,
  // and only while the session lives; the job's progress shows in the slot.
  template <typename Result>
  void RunJob(WorkerPool& pool, const JobSlot& job,
              std::function<Result(ReplicationData&, HostServices&)> work,
              std::function<void(Result, JobReport)> done) {
    BeginJob();
    const QPointer<ClientSession> self(this);
    Worker(pool).Run<Result>(
        job, std::move(work),
        [self, done = std::move(done)](Result result, JobReport report) {
          if (self.isNull()) return;  // a job of a session taken over
          done(std::move(result), std::move(report));
          if (!self.isNull()) self->EndJob();
        },
        [self](int percent) {
          if (!self.isNull()) emit self->progressChanged(percent);
        });
  }

 signals:
  // A job's progress, 0-100.
  void progressChanged(int percent);

 public:
  bool Busy() const { return jobs_ > 0; }

 private:
  void BeginJob();
  void EndJob();

  PacketConnection* connection_;  // a child of the session
  PeerInfo peer_;
  TKlientInfo slot_;
  std::unique_ptr<EngineWorker> worker_;
  SendingCycle outgoing_;
  std::unique_ptr<RunningCheck> check_;
  std::uint64_t counted_received_ = 0;
  int packets_before_login_ = 0;
  int jobs_ = 0;
};

}  // namespace tramolin
