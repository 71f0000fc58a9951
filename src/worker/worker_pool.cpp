#include "worker/worker_pool.h"

#include <algorithm>

#include "engine/replication_data.h"

namespace tramolin {

void JobGate::Enter() {
  std::unique_lock lock(mutex_);
  freed_.wait(lock, [this] { return free_ > 0; });
  --free_;
}

void JobGate::Leave() {
  {
    std::lock_guard lock(mutex_);
    ++free_;
  }
  freed_.notify_one();
}

WorkerPool::WorkerPool(HostServices& host, WorkerDatabase database, int concurrency,
                       QObject* parent)
    : QObject(parent), host_(host), database_(std::move(database)), gate_(concurrency) {}

WorkerPool::~WorkerPool() {
  for (const std::unique_ptr<QThread>& thread : retired_) thread->wait();
}

std::unique_ptr<ReplicationData> WorkerPool::MakeDatabase(HostServices& worker_host,
                                                          SlotBook& slot_book, TPassDM& pass_dm) {
  auto data =
      std::make_unique<ReplicationData>(worker_host, slot_book, pass_dm, database_.settings);
  if (database_.started != nullptr) data->AdoptCatalogues(*database_.started);
  return data;
}

void WorkerPool::Retire(std::unique_ptr<QThread> thread) {
  thread->quit();
  retired_.push_back(std::move(thread));
  Reap();
}

int WorkerPool::RunningThreads() const {
  return static_cast<int>(std::count_if(retired_.begin(), retired_.end(),
                                        [](const auto& thread) { return thread->isRunning(); }));
}

// Threads that have ended are let go; the others stay until they do.
void WorkerPool::Reap() {
  std::erase_if(retired_,
                [](const std::unique_ptr<QThread>& thread) { return thread->isFinished(); });
}

WorkerDatabase WorkerDatabaseLike(const ReplicationData& started) {
  WorkerDatabase database{started.Settings(), started.PassDm(), &started};
  database.settings.announce_connection = false;
  return database;
}

int DefaultWorkerConcurrency() { return std::max(1, QThread::idealThreadCount()); }

}  // namespace tramolin
