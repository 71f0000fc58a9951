#include "worker/engine_worker.h"

namespace tramolin {

EngineWorker::EngineWorker(WorkerPool& pool, QObject* parent) : QObject(parent), pool_(pool) {
  pool_.OpenLane();
}

EngineWorker::~EngineWorker() { pool_.CloseLane(this); }

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
  pool_.Submit(this, slot, std::move(progress), std::move(job));
}

}  // namespace tramolin
