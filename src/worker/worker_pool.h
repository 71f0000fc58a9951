// The database workers of one room (the server's sessions, or the client): how a worker's
// connection is made, how many workers may run a job at once (the rest wait their turn), and the
// threads of workers whose owners have gone, which end after their current job and are waited
// for when the pool goes.
#pragma once

#include <QObject>
#include <QThread>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/database_settings.h"
#include "engine/host_services.h"
#include "engine/pass_dm.h"
#include "engine/slot_book.h"
#include "worker/call_queue.h"

namespace tramolin {

class ReplicationData;

// Lets at most `limit` jobs run at once; the others wait for a place.
class JobGate {
 public:
  explicit JobGate(int limit) : free_(limit > 0 ? limit : 1) {}
  void Enter();
  void Leave();

 private:
  std::mutex mutex_;
  std::condition_variable freed_;
  int free_;
};

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
  // `host` and the started connection must outlive the pool; `concurrency` jobs at most at once.
  WorkerPool(HostServices& host, WorkerDatabase database, int concurrency,
             QObject* parent = nullptr);
  // Waits for every worker thread to end.
  ~WorkerPool() override;

  HostServices& Host() { return host_; }
  // Where the workers' results, progress and log lines go: the pool's own thread.
  CallQueue& Inbox() { return inbox_; }
  JobGate& Gate() { return gate_; }
  // A new connection as every worker has, not yet connected; made on the caller's thread.
  // `pass_dm` (see PassDm) must live as long as the connection.
  std::unique_ptr<ReplicationData> MakeDatabase(HostServices& worker_host, SlotBook& slot_book,
                                                TPassDM& pass_dm);
  // The password reader a worker keeps for itself: a copy of the one read at start.
  const TPassDM& PassDm() const { return database_.pass_dm; }
  // A worker's thread after its owner has gone: it ends once its current job is done.
  void Retire(std::unique_ptr<QThread> thread);
  int RunningThreads() const;

 private:
  void Reap();

  HostServices& host_;
  WorkerDatabase database_;
  JobGate gate_;
  CallQueue inbox_{this};
  std::vector<std::unique_ptr<QThread>> retired_;
};

// The connections of the workers made like `started` (which must outlive them).
WorkerDatabase WorkerDatabaseLike(const ReplicationData& started);

// The number of jobs at once when no setting says otherwise: the machine's cores.
int DefaultWorkerConcurrency();

}  // namespace tramolin
