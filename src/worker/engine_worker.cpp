#include "worker/engine_worker.h"

#include <exception>

#include "engine/replication_data.h"
#include "worker/worker_pool.h"

namespace tramolin {

// The part of a worker that lives on its thread: the connection and what the engine reaches.
// Jobs come through its call queue.
class WorkerCore : public CallQueue {
 public:
  explicit WorkerCore(WorkerPool& pool)
      : pool_(pool),
        host_(pool.Host(), pool.Inbox()),
        pass_dm_(pool.PassDm()),
        data_(pool.MakeDatabase(host_, slots_, pass_dm_)) {}

  // On the worker's thread: waits for a place among the jobs running at once, then runs.
  void Run(const JobSlot& slot, WorkerSlotBook::Progress progress, const EngineWorkerJob& job) {
    pool_.Gate().Enter();
    slots_.StartJob(slot, std::move(progress));
    bool finished = false;
    const std::function<JobReport()> finish = [this, &finished] {
      finished = true;
      JobReport report{slots_.EndJob()};
      pool_.Gate().Leave();
      return report;
    };
    try {
      job(*data_, host_, pool_.Inbox(), finish);
    } catch (const std::exception& error) {
      host_.LogException("EngineWorker", error);
      if (!finished) finish();
    }
  }

 private:
  WorkerPool& pool_;
  WorkerHost host_;
  WorkerSlotBook slots_;
  TPassDM pass_dm_;
  std::unique_ptr<ReplicationData> data_;
};

EngineWorker::EngineWorker(WorkerPool& pool, QObject* parent)
    : QObject(parent),
      pool_(pool),
      thread_(std::make_unique<QThread>()),
      core_(new WorkerCore(pool)) {
  core_->moveToThread(thread_.get());
  connect(thread_.get(), &QThread::finished, core_, &QObject::deleteLater);
  thread_->start();
}

EngineWorker::~EngineWorker() { pool_.Retire(std::move(thread_)); }

void EngineWorker::Post(const JobSlot& slot, Progress shown, EngineWorkerJob job) {
  const QPointer<EngineWorker> owner(this);
  CallQueue* inbox = &pool_.Inbox();
  // Progress goes to the owner's thread, and only while the owner is there.
  WorkerSlotBook::Progress progress;
  if (shown) {
    progress = [owner, inbox, shown](int percent) {
      inbox->Post([owner, shown, percent] {
        if (!owner.isNull()) shown(percent);
      });
    };
  }
  WorkerCore* core = core_;
  core->Post([core, slot, progress = std::move(progress), job = std::move(job)] {
    core->Run(slot, progress, job);
  });
}

}  // namespace tramolin
