#include "worker/call_queue.h"

#include <QMetaObject>
#include <utility>

namespace tramolin {

// A thread that posted has left Post before the queue goes (its owner waits for that thread to
// end): taking the lock here lets the tool see that too, since the end of a Qt thread is not
// something it sees.
CallQueue::~CallQueue() {
  const std::lock_guard lock(mutex_);
  calls_.clear();
}

// One wake-up for each call: RunNext takes the oldest, so the calls keep their order among
// themselves and each waits its turn among the other events of the loop. The wake-up is posted
// under the lock too, so that the whole of Post comes before the queue's end.
void CallQueue::Post(Call call) {
  const std::lock_guard lock(mutex_);
  calls_.push_back(std::move(call));
  QMetaObject::invokeMethod(this, "RunNext", Qt::QueuedConnection);
}

void CallQueue::RunNext() {
  Call call;
  {
    const std::lock_guard lock(mutex_);
    if (calls_.empty()) return;
    call = std::move(calls_.front());
    calls_.pop_front();
  }
  call();
}

}  // namespace tramolin
