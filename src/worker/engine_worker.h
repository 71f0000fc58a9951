// One owner's database worker: its jobs run one after another in the order they were posted, on
// a thread of the room's pool with that thread's own connection to the database. A job's result
// comes back to the owner's thread by a queued call, with the error text the job left for its
// slot, and its progress the same way; whatever comes back after the worker has gone is dropped.
// Nothing else is shared between the threads.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "engine/host_services.h"
#include "worker/call_queue.h"
#include "worker/worker_host.h"
#include "worker/worker_pool.h"

namespace tramolin {

class ReplicationData;

class EngineWorker : public QObject {
  Q_OBJECT

 public:
  using Progress = std::function<void(int percent)>;  // on the owner's thread

  // The pool must outlive the worker.
  explicit EngineWorker(WorkerPool& pool, QObject* parent = nullptr);
  // A job it runs ends on its own; its waiting jobs are dropped.
  ~EngineWorker() override;
  EngineWorker(const EngineWorker&) = delete;
  EngineWorker& operator=(const EngineWorker&) = delete;

  // Runs `work` on the worker's connection after every job posted before it (with the host
  // services of the worker's thread); `done` gets its result and `progress` the job's progress
  // on this object's thread.
  template <typename Result>
  void Run(const JobSlot& slot, std::function<Result(ReplicationData&, HostServices&)> work,
           std::function<void(Result, JobReport)> done, Progress progress = nullptr) {
    ++pending_;
    const QPointer<EngineWorker> owner(this);
    Post(slot, std::move(progress),
         [owner, work = std::move(work), done = std::move(done)](
             ReplicationData& data, HostServices& host, CallQueue& loop,
             const std::function<JobReport()>& finish) {
           auto result = std::make_shared<Result>(work(data, host));
           auto report = std::make_shared<JobReport>(finish());
           loop.Post([owner, done, result, report] {
             if (owner.isNull()) return;
             --owner->pending_;
             done(std::move(*result), std::move(*report));
           });
         });
  }

  // Jobs posted and not yet answered.
  int Pending() const { return pending_; }

 private:
  void Post(const JobSlot& slot, Progress progress, EngineWorkerJob job);

  WorkerPool& pool_;
  int pending_ = 0;
};

}  // namespace tramolin
