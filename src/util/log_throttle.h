// Bounds how often one kind of log line is written when a peer can provoke it at will (refused
// connections, failed handshakes): at most one line per period, the rest counted and told with
// the next line that is written.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>

namespace tramolin {

class LogThrottle {
 public:
  // period in days, as the program's clock counts.
  explicit LogThrottle(double period) : period_(period) {}

  // True when a line may be written at `now`; `held_back` is then the number of lines withheld
  // since the last one written.
  bool Allow(double now, int& held_back);
  // Whether a line would be written at `now`.
  bool Lapsed(double now) const { return !written_ || now - last_ >= period_ || now < last_; }

 private:
  double period_;
  double last_ = 0;
  bool written_ = false;
  int withheld_ = 0;
};

// The same bound kept apart for each key (a peer's address and the kind of line), so that one
// peer's lines never silence another's. Keys whose period has passed are forgotten once many
// have gathered, withheld lines and all: the keys held are those heard from lately.
class KeyedLogThrottle {
 public:
  explicit KeyedLogThrottle(double period) : period_(period) {}

  bool Allow(const std::string& key, double now, int& held_back);
  std::size_t Keys() const { return throttles_.size(); }

 private:
  static constexpr std::size_t kFirstSweep = 256;

  double period_;
  std::unordered_map<std::string, LogThrottle> throttles_;
  std::size_t sweep_at_ = kFirstSweep;  // the number of keys at which lapsed ones are forgotten
};

}  // namespace tramolin
