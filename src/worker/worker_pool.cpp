#include "worker/worker_pool.h"

#include <algorithm>
#include <exception>

#include "engine/replication_data.h"

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

  // On the worker's thread.
  void Run(const JobSlot& slot, WorkerSlotBook::Progress progress, const EngineWorkerJob& job) {
    slots_.StartJob(slot, std::move(progress));
    bool finished = false;
    const std::function<JobReport()> finish = [this, &finished] {
      finished = true;
      return JobReport{slots_.EndJob()};
    };
    try {
      job(*data_, host_, pool_.Inbox(), finish);
    } catch (const std::exception& error) {
      host_.LogException("EngineWorker", error);
      if (!finished) finish();
    }
  }

  void Disconnect() {
    try {
      data_->DisconnectDatabase(false);
    } catch (const std::exception& error) {
      host_.LogException("EngineWorker", error);
    }
  }

 private:
  WorkerPool& pool_;
  WorkerHost host_;
  WorkerSlotBook slots_;
  TPassDM pass_dm_;
  std::unique_ptr<ReplicationData> data_;
};

WorkerPool::WorkerPool(HostServices& host, WorkerDatabase database, int concurrency,
                       QObject* parent)
    : QObject(parent),
      host_(host),
      database_(std::move(database)),
      concurrency_(static_cast<std::size_t>(std::max(1, concurrency))) {}

WorkerPool::~WorkerPool() {
  for (Core& core : cores_) core.thread->quit();
  for (Core& core : cores_) core.thread->wait();
}

std::unique_ptr<ReplicationData> WorkerPool::MakeDatabase(HostServices& worker_host,
                                                          SlotBook& slot_book, TPassDM& pass_dm) {
  auto data =
      std::make_unique<ReplicationData>(worker_host, slot_book, pass_dm, database_.settings);
  if (database_.started != nullptr) data->AdoptCatalogues(*database_.started);
  return data;
}

void WorkerPool::OpenLane() { ++lanes_; }

void WorkerPool::CloseLane(Lane lane) {
  std::erase_if(waiting_, [lane](const Waiting& waiting) { return waiting.lane == lane; });
  if (--lanes_ == 0) ReleaseConnections();
}

void WorkerPool::Submit(Lane lane, const JobSlot& slot, WorkerSlotBook::Progress progress,
                        EngineWorkerJob job) {
  waiting_.push_back(
      {lane, [this, slot, progress = std::move(progress), job = std::move(job)](WorkerCore& core) {
         WorkerCore* target = &core;
         core.Post([this, target, slot, progress, job] {
           target->Run(slot, progress, job);
           // After the job's result, so the lane's next job follows it.
           inbox_.Post([this, target] { Freed(target); });
         });
       }});
  Dispatch();
}

// The oldest waiting job of each lane that runs nothing goes to a free thread, in the order the
// jobs came.
void WorkerPool::Dispatch() {
  for (auto it = waiting_.begin(); it != waiting_.end();) {
    if (Running(it->lane)) {
      ++it;
      continue;
    }
    Core* core = FreeCore();
    if (core == nullptr) return;
    core->running = it->lane;
    const std::function<void(WorkerCore&)> start = std::move(it->start);
    it = waiting_.erase(it);
    start(*core->core);
  }
}

bool WorkerPool::Running(Lane lane) const {
  return std::any_of(cores_.begin(), cores_.end(),
                     [lane](const Core& core) { return core.running == lane; });
}

WorkerPool::Core* WorkerPool::FreeCore() {
  for (Core& core : cores_) {
    if (core.running == nullptr) return &core;
  }
  if (cores_.size() >= concurrency_) return nullptr;
  Core core{std::make_unique<QThread>(), new WorkerCore(*this)};
  core.core->moveToThread(core.thread.get());
  connect(core.thread.get(), &QThread::finished, core.core, &QObject::deleteLater);
  core.thread->start();
  cores_.push_back(std::move(core));
  return &cores_.back();
}

void WorkerPool::Freed(const WorkerCore* finished) {
  for (Core& core : cores_) {
    if (core.core == finished) core.running = nullptr;
  }
  Dispatch();
}

// After what each thread runs now: no owner is left, so nothing needs the database.
void WorkerPool::ReleaseConnections() {
  for (Core& core : cores_) {
    WorkerCore* target = core.core;
    target->Post([target] { target->Disconnect(); });
  }
}

WorkerDatabase WorkerDatabaseLike(const ReplicationData& started) {
  WorkerDatabase database{started.Settings(), started.PassDm(), &started};
  database.settings.announce_connection = false;
  return database;
}

int DefaultWorkerConcurrency() { return std::max(1, QThread::idealThreadCount()); }

}  // namespace tramolin
