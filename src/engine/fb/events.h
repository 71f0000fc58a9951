// A subscription to database events (POST_EVENT) on one attachment. Firebird calls back on a
// thread of its own; a worker thread of the subscription turns each notification into the
// changed counts, hands every event posted since the last notification to the handler (on that
// worker thread, never the caller's) and queues the next wait. The owner moves the call onto its
// own thread if it needs to. Closing the attachment ends the subscription; the subscription
// may be destroyed before or after its attachment is closed, and once it is destroyed (or its
// attachment closed) the handler is not called again.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/fb/attachment.h"

namespace tramolin::fb {

class EventSubscription : private Dependent {
 public:
  // name, number of postings since the last notification
  using Handler = std::function<void(const std::string& name, unsigned count)>;

  // Registers at once; throws Error when the database refuses.
  EventSubscription(Attachment& attachment, std::vector<std::string> names, Handler handler);
  ~EventSubscription() override;
  EventSubscription(const EventSubscription&) = delete;
  EventSubscription& operator=(const EventSubscription&) = delete;

 private:
  class Worker;
  void OnAttachmentClosing(bool force) noexcept override;

  Attachment& attachment_;
  std::unique_ptr<Worker> worker_;
};

}  // namespace tramolin::fb
