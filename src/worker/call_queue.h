// Calls handed from any thread to the thread a queue lives on, where the event loop runs each as
// an event of its own, in the order they were posted; calls still waiting when the queue goes are
// dropped with it. The call itself crosses under a mutex of this queue and only a wake-up without
// data goes through Qt's event queue: a ThreadSanitizer build then sees the hand-over (Qt's own
// queue locks with futexes inside a library not built with it, invisible to the tool).
#pragma once

#include <QObject>
#include <deque>
#include <functional>
#include <mutex>

namespace tramolin {

class CallQueue : public QObject {
  Q_OBJECT

 public:
  using Call = std::function<void()>;

  explicit CallQueue(QObject* parent = nullptr) : QObject(parent) {}
  ~CallQueue() override;
  CallQueue(const CallQueue&) = delete;
  CallQueue& operator=(const CallQueue&) = delete;

  // From any thread.
  void Post(Call call);

 private:
  Q_INVOKABLE void RunNext();

  std::mutex mutex_;
  std::deque<Call> calls_;
};

}  // namespace tramolin
