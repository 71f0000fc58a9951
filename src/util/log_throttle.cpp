#include "util/log_throttle.h"

#include <algorithm>

namespace tramolin {

bool LogThrottle::Allow(double now, int& held_back) {
  if (!Lapsed(now)) {
    ++withheld_;
    return false;
  }
  written_ = true;
  last_ = now;
  held_back = withheld_;
  withheld_ = 0;
  return true;
}

bool KeyedLogThrottle::Allow(const std::string& key, double now, int& held_back) {
  if (throttles_.size() >= sweep_at_ && !throttles_.contains(key)) {
    std::erase_if(throttles_, [now](const auto& entry) { return entry.second.Lapsed(now); });
    sweep_at_ = std::max(kFirstSweep, throttles_.size() * 2);
  }
  return throttles_.try_emplace(key, period_).first->second.Allow(now, held_back);
}

}  // namespace tramolin
