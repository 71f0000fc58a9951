#include "util/log_throttle.h"

namespace tramolin {

bool LogThrottle::Allow(double now, int& held_back) {
  if (written_ && now - last_ < period_ && now >= last_) {
    ++withheld_;
    return false;
  }
  written_ = true;
  last_ = now;
  held_back = withheld_;
  withheld_ = 0;
  return true;
}

}  // namespace tramolin
