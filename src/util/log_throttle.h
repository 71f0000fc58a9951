// Bounds how often one kind of log line is written when a peer can provoke it at will (refused
// connections, failed handshakes): at most one line per period, the rest counted and told with
// the next line that is written.
#pragma once

namespace tramolin {

class LogThrottle {
 public:
  // period in days, as the program's clock counts.
  explicit LogThrottle(double period) : period_(period) {}

  // True when a line may be written at `now`; `held_back` is then the number of lines withheld
  // since the last one written.
  bool Allow(double now, int& held_back);

 private:
  double period_;
  double last_ = 0;
  bool written_ = false;
  int withheld_ = 0;
};

}  // namespace tramolin
