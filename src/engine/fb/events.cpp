#include "engine/fb/events.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "engine/fb/api.h"
#include "engine/fb/owned.h"

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace tramolin::fb {

namespace {

// Firebird's client library takes the callback object with a registration and calls it on a
// thread of its own, handing it over with its own locks. ThreadSanitizer does not look inside
// that library (see scripts/tsan.supp), so in its build the hand-over is marked here: what was
// written before a registration is seen by the callback that the registration leads to.
void HandingOver([[maybe_unused]] void* callback) {
#if defined(__SANITIZE_THREAD__)
  __tsan_release(callback);
#endif
}

void HandedOver([[maybe_unused]] void* callback) {
#if defined(__SANITIZE_THREAD__)
  __tsan_acquire(callback);
#endif
}

constexpr unsigned char kEventBlockVersion = 1;  // EPB_version1
constexpr auto kFirstAnswerWait = std::chrono::seconds(5);

// clang-format off
// The event parameter block, queued with the last counts and returned with the new ones:
//   version         1 byte   EPB_version1
//   per event:
//     name length   1 byte   1..255
//     name          bytes
//     count         4 bytes  little-endian, postings since the database started
// clang-format on
std::vector<unsigned char> EventBlock(const std::vector<std::string>& names) {
  std::vector<unsigned char> block{kEventBlockVersion};
  for (const std::string& name : names) {
    if (name.empty() || name.size() > 255) throw Error("Invalid event name: " + name);
    block.push_back(static_cast<unsigned char>(name.size()));
    block.insert(block.end(), name.begin(), name.end());
    block.insert(block.end(), 4, 0);
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

// The callback object Firebird notifies, on a thread of its own. Firebird counts references to
// it: a registration holds one, and a server connection's client library keeps one until the
// connection is detached, possibly long after the subscription has gone. So the object is
// reference counted and deleted by whoever lets go last. It only stores what arrived and wakes
// the subscription's worker; once closed, notifications are dropped. A notification without
// counts (a server connection's client sends one when a registration is released or cancelled)
// is no news and is dropped too; a lost connection ends the subscription when the attachment is
// closed.
class EventMailbox final
    : public Firebird::IEventCallbackImpl<EventMailbox, Firebird::ThrowStatusWrapper> {
 public:
  // The one reference the caller starts with.
  static Owned<EventMailbox> Create() { return Owned<EventMailbox>(new EventMailbox); }

  void addRef() override { references_.fetch_add(1, std::memory_order_relaxed); }
  int release() override {
    if (references_.fetch_sub(1, std::memory_order_acq_rel) != 1) return 1;
    delete this;
    return 0;
  }

  void eventCallbackFunction(unsigned length, const ISC_UCHAR* events) override {
    HandedOver(this);
    std::lock_guard lock(mutex_);
    if (closed_ || length == 0 || events == nullptr) return;
    result_.assign(events, events + length);
    pending_ = true;
    wake_.notify_all();
  }

  // The event block of the next notification; nothing once closed.
  std::optional<std::vector<unsigned char>> Wait() {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return pending_ || closed_; });
    if (closed_) return std::nullopt;
    pending_ = false;
    return std::exchange(result_, {});
  }

  void Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    wake_.notify_all();
  }

  bool Closed() {
    std::lock_guard lock(mutex_);
    return closed_;
  }

 private:
  EventMailbox() = default;
  ~EventMailbox() override = default;

  std::atomic<int> references_{1};
  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<unsigned char> result_;
  bool pending_ = false;
  bool closed_ = false;
};

}  // namespace

// A thread that turns notifications into counts for the handler and queues the next wait.
class EventSubscription::Worker {
 public:
  Worker(Firebird::IAttachment* attachment, std::vector<std::string> names, Handler handler)
      : attachment_(attachment),
        names_(std::move(names)),
        handler_(std::move(handler)),
        block_(EventBlock(names_)),
        mailbox_(EventMailbox::Create()) {}

  ~Worker() { Stop(false); }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Registers and waits (briefly) for the answer that sets the starting counts, so postings
  // after the return are all reported.
  void Start() {
    events_ = Queue();
    thread_ = std::thread([this] { Run(); });
    std::unique_lock lock(start_mutex_);
    started_.wait_for(lock, kFirstAnswerWait, [this] { return initialized_; });
  }

  // After Stop the handler is not called again, whatever Firebird still delivers.
  void Stop(bool force) noexcept {
    mailbox_->Close();
    if (thread_.joinable()) thread_.join();
    EndOrRelease(events_, force, [](Firebird::IEvents* events) {
      detail::Checked([&](auto* s) { events->cancel(s); });
    });
  }

 private:
  Owned<Firebird::IEvents> Queue() {
    HandingOver(mailbox_.get());
    return Owned<Firebird::IEvents>(detail::Checked([&](auto* s) {
      return attachment_->queEvents(s, mailbox_.get(), static_cast<unsigned>(block_.size()),
                                    block_.data());
    }));
  }

  void Run() {
    while (std::optional<std::vector<unsigned char>> result = mailbox_->Wait()) {
      if (!Deliver(*result)) return;
    }
  }

  // Hands over what changed and waits again; false when the subscription cannot go on.
  bool Deliver(const std::vector<unsigned char>& result) {
    const std::vector<unsigned> before = Counts(block_);
    const std::vector<unsigned> after = Counts(result);
    if (result.size() == block_.size()) block_ = result;
    // The registration that fired goes before the next one is made: a server connection's
    // client would take its release for a cancel of the new one.
    events_.reset();
    try {
      events_ = Queue();
    } catch (const Error&) {
      // the subscription ends: no registration to wait on
    }
    // Firebird answers a new registration at once with the current counts: a starting point,
    // not postings.
    if (!MarkInitialized()) return events_ != nullptr;
    for (std::size_t i = 0; i < names_.size() && i < before.size() && i < after.size(); ++i) {
      if (after[i] > before[i] && !mailbox_->Closed()) handler_(names_[i], after[i] - before[i]);
    }
    return events_ != nullptr;
  }

  // True from the second answer on; the first one only marks the start.
  bool MarkInitialized() {
    std::lock_guard lock(start_mutex_);
    const bool was = initialized_;
    initialized_ = true;
    started_.notify_all();
    return was;
  }

  Firebird::IAttachment* attachment_;
  std::vector<std::string> names_;
  Handler handler_;
  std::vector<unsigned char> block_;  // names with the counts of the last notification
  Owned<EventMailbox> mailbox_;       // our reference; Firebird may hold more
  Owned<Firebird::IEvents> events_;   // the registration waiting now
  std::thread thread_;
  std::mutex start_mutex_;
  std::condition_variable started_;
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
