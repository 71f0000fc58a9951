#include "engine/fb/events.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "engine/fb/api.h"

namespace tramolin::fb {

namespace {

constexpr unsigned char kEventBlockVersion = 1;  // EPB_version1
constexpr auto kFirstAnswerWait = std::chrono::seconds(5);

std::vector<unsigned char> EventBlock(const std::vector<std::string>& names) {
  std::vector<unsigned char> block{kEventBlockVersion};
  for (const std::string& name : names) {
    if (name.empty() || name.size() > 255) throw Error("Invalid event name: " + name);
    block.push_back(static_cast<unsigned char>(name.size()));
    block.insert(block.end(), name.begin(), name.end());
    block.insert(block.end(), 4, 0);  // count, little-endian
  }
  return block;
}

// Counts of an event block, in the order of the names.
std::vector<unsigned> Counts(const std::vector<unsigned char>& block) {
  std::vector<unsigned> counts;
  std::size_t pos = 1;
  while (pos < block.size()) {
    pos += 1 + block[pos];
    if (pos + 4 > block.size()) break;
    counts.push_back(block[pos] | (block[pos + 1] << 8) | (block[pos + 2] << 16) |
                     (static_cast<unsigned>(block[pos + 3]) << 24));
    pos += 4;
  }
  return counts;
}

}  // namespace

class EventSubscription::Worker
    : public Firebird::IEventCallbackImpl<Worker, Firebird::ThrowStatusWrapper> {
 public:
  Worker(Firebird::IAttachment* attachment, std::vector<std::string> names, Handler handler)
      : attachment_(attachment),
        names_(std::move(names)),
        handler_(std::move(handler)),
        block_(EventBlock(names_)) {}

  // The subscription owns this object; Firebird's reference counting does not.
  void addRef() override {}
  int release() override { return 1; }

  // On Firebird's thread: keep the new counts and wake the worker.
  void eventCallbackFunction(unsigned length, const ISC_UCHAR* events) override {
    std::lock_guard lock(mutex_);
    if (length == 0 || events == nullptr) {
      connection_lost_ = true;
    } else {
      result_.assign(events, events + length);
    }
    pending_ = true;
    wake_.notify_all();
  }

  // Registers and waits (briefly) for the answer that sets the starting counts, so postings
  // after the return are all reported.
  void Start() {
    events_ = Queue();
    thread_ = std::thread([this] { Run(); });
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, kFirstAnswerWait, [this] { return initialized_; });
  }

  void Stop(bool force) noexcept {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
      wake_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
    if (events_ == nullptr) return;
    if (!force) {
      try {
        detail::Checked([&](auto* s) { events_->cancel(s); });
        events_ = nullptr;  // a successful cancel releases the interface
        return;
      } catch (const Error&) {
        // still held: released below
      }
    }
    events_->release();
    events_ = nullptr;
  }

 private:
  Firebird::IEvents* Queue() {
    return detail::Checked([&](auto* s) {
      return attachment_->queEvents(s, this, static_cast<unsigned>(block_.size()), block_.data());
    });
  }

  void Run() {
    for (;;) {
      std::vector<unsigned char> result;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return pending_ || stop_; });
        if (stop_ || connection_lost_) return;
        pending_ = false;
        result.swap(result_);
      }
      if (!Deliver(result)) return;
    }
  }

  // Hands over what changed and waits again; false when the subscription cannot go on.
  bool Deliver(const std::vector<unsigned char>& result) {
    const std::vector<unsigned> before = Counts(block_);
    const std::vector<unsigned> after = Counts(result);
    if (result.size() == block_.size()) block_ = result;
    Firebird::IEvents* fired = events_;
    try {
      events_ = Queue();
    } catch (const Error&) {
      events_ = nullptr;
    }
    if (fired != nullptr) fired->release();
    // Firebird answers a new registration at once with the current counts: a starting point,
    // not postings.
    if (!Initialized()) return events_ != nullptr;
    for (std::size_t i = 0; i < names_.size() && i < before.size() && i < after.size(); ++i) {
      if (after[i] > before[i] && !Stopping()) handler_(names_[i], after[i] - before[i]);
    }
    return events_ != nullptr;
  }

  // True from the second answer on; the first one only marks the start.
  bool Initialized() {
    std::lock_guard lock(mutex_);
    const bool was = initialized_;
    initialized_ = true;
    wake_.notify_all();
    return was;
  }

  bool Stopping() {
    std::lock_guard lock(mutex_);
    return stop_;
  }

  Firebird::IAttachment* attachment_;
  std::vector<std::string> names_;
  Handler handler_;
  std::vector<unsigned char> block_;  // names with the counts of the last notification
  Firebird::IEvents* events_ = nullptr;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<unsigned char> result_;
  bool pending_ = false;
  bool stop_ = false;
  bool connection_lost_ = false;
  bool initialized_ = false;
};

EventSubscription::EventSubscription(Attachment& attachment, std::vector<std::string> names,
                                     Handler handler)
    : attachment_(attachment) {
  if (!attachment.IsOpen()) throw Error("The database connection is not open");
  worker_ = std::make_unique<Worker>(attachment.handle(), std::move(names), std::move(handler));
  worker_->Start();
  attachment_.AddDependent(this);
}

EventSubscription::~EventSubscription() {
  OnAttachmentClosing(false);
  attachment_.RemoveDependent(this);
}

void EventSubscription::OnAttachmentClosing(bool force) noexcept {
  if (worker_ == nullptr) return;
  worker_->Stop(force);
  worker_.reset();
}

}  // namespace tramolin::fb
