// Collects database event notifications, which arrive on the events thread, for a test to wait
// on.
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>

namespace tramolin::testing {

class EventCollector {
 public:
  void Add(const std::string& name, unsigned count) {
    std::lock_guard lock(mutex_);
    counts_[name] += count;
    changed_.notify_all();
  }
  // The count of the event once it reaches at_least, or what it is after ten seconds.
  unsigned WaitFor(const std::string& name, unsigned at_least) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(10), [&] { return counts_[name] >= at_least; });
    return counts_[name];
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, unsigned> counts_;
};

}  // namespace tramolin::testing
