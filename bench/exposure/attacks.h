// The attacks a stranger can make on a replication server before logging in, each a crowd (or
// two) of hostile connections with a script of what they send.
#pragma once

#include <QTimer>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "attacker_crowd.h"

namespace tramolin::bench {

struct AttackOptions {
  std::string name;  // one of AttackNames()
  quint16 port = 0;
  bool tls = false;     // the server speaks TLS, and so do the attackers but silent peers
  int connections = 0;  // 0: the attack's own number
  int addresses = 40;   // source addresses of the attackers, from 127.0.0.2 on
  std::chrono::milliseconds reconnect_after{100};
  std::chrono::milliseconds duration{5000};
  std::uint64_t bomb_zeros = std::uint64_t{8} << 30;  // what the large inflation bomb inflates to
  std::filesystem::path bomb_file;                    // where its frame is kept between runs
  std::string forged_line;  // the line hidden in the error reports of the log flood
};

// "rest held flood bomb small-bomb log-flood small-log-flood no-handshake"
std::string AttackNames();

class Attack {
 public:
  virtual ~Attack() = default;
  virtual void Start() = 0;
  virtual CrowdCounters Counters() const = 0;
};

// The attack of that name with everything it sends already built; nullptr for an unknown name.
std::unique_ptr<Attack> MakeAttack(const AttackOptions& options);

}  // namespace tramolin::bench
