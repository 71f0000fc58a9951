// Byte counters of the traffic on connections: whole frames as written and as received,
// header included. They only grow.
#pragma once

#include <cstdint>

namespace tramolin {

struct TrafficCounters {
  std::uint64_t Wyslano = 0;   // bytes handed to connections for writing
  std::uint64_t Odebrano = 0;  // bytes read from connections

  void CountSent(std::uint64_t bytes) { Wyslano += bytes; }
  void CountReceived(std::uint64_t bytes) { Odebrano += bytes; }
};

}  // namespace tramolin
