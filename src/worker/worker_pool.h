// The database workers of one room (the server's sessions, or the client): at most `concurrency`
// threads, each with its own connection to the database, made when work first needs them and
// shared by every owner of the room. Each owner's jobs run one after another in the order they
// were submitted, on whichever thread is free; the others wait their turn. A room's memory thus
// grows with the jobs it runs at once, not with its connections. When the last owner goes the
// threads let go of their connections, so the database is free again.
#pragma once

#include <QObject>
#include <QThread>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/database_settings.h"
#include "engine/host_services.h"
#include "engine/pass_dm.h"
#include "engine/slot_book.h"
#include "worker/call_queue.h"
#include "worker/worker_host.h"

namespace tramolin {

class ReplicationData;
class WorkerCore;

// What a job reports besides its own result.
struct JobReport {
  std::optional<std::string> error_text;  // what the engine set as the slot's error text
};

// A job as it travels to a worker's thread: the work on the connection, the queue to the event
// loop's thread that takes its result, and the end of the job (its report).
using EngineWorkerJob = std::function<void(ReplicationData&, HostServices& host, CallQueue& loop,
                                           const std::function<JobReport()>& finish)>;

// What every worker's connection is made from.
struct WorkerDatabase {
  DatabaseSettings settings;
  TPassDM pass_dm;  // a copy: the password read once for the run
  // The connection of the start of work: its catalogues (the DOUBLE PRECISION columns) are the
  // ones every worker exports with, as read at start. May be null (a worker then reads its own).
  const ReplicationData* started = nullptr;
};

class WorkerPool : public QObject {
  Q_OBJECT

 public:
  // Whose jobs run in order among themselves: an owner's address.
  using Lane = const void*;

  // `host` and the started connection must outlive the pool.
  WorkerPool(HostServices& host, WorkerDatabase database, int concurrency,
             QObject* parent = nullptr);
  // Each thread ends after the job it runs, and is waited for; waiting jobs are dropped.
  ~WorkerPool() override;
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  HostServices& Host() { return host_; }
  // Where the workers' results, progress and log lines go: the pool's own thread.
  CallQueue& Inbox() { return inbox_; }
  // A new connection as every worker has, not yet connected; made on the caller's thread.
  // `pass_dm` (see PassDm) must live as long as the connection.
  std::unique_ptr<ReplicationData> MakeDatabase(HostServices& worker_host, SlotBook& slot_book,
                                                TPassDM& pass_dm);
  // The password reader a worker keeps for itself: a copy of the one read at start.
  const TPassDM& PassDm() const { return database_.pass_dm; }

  // On the pool's thread. An owner opens its lane before its first job and closes it when it
  // goes: its waiting jobs are dropped (one running ends on its own).
  void OpenLane();
  void CloseLane(Lane lane);
  void Submit(Lane lane, const JobSlot& slot, WorkerSlotBook::Progress progress,
              EngineWorkerJob job);
  int Threads() const { return static_cast<int>(cores_.size()); }

 private:
  struct Core {
    std::unique_ptr<QThread> thread;
    WorkerCore* core = nullptr;  // lives on thread, deleted there when it ends
    Lane running = nullptr;      // the lane of the job it runs; null when free
  };
  struct Waiting {
    Lane lane;
    std::function<void(WorkerCore&)> start;
  };

  void Dispatch();
  bool Running(Lane lane) const;
  Core* FreeCore();
  void Freed(const WorkerCore* core);
  void ReleaseConnections();

  HostServices& host_;
  WorkerDatabase database_;
  std::size_t concurrency_;
  CallQueue inbox_{this};
  std::vector<Core> cores_;
  std::deque<Waiting> waiting_;
  int lanes_ = 0;
};

// The connections of the workers made like `started` (which must outlive them).
WorkerDatabase WorkerDatabaseLike(const ReplicationData& started);

// The number of jobs at once when no setting says otherwise: the machine's cores.
int DefaultWorkerConcurrency();

}  // namespace tramolin
