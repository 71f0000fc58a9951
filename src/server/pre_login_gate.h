// Connections that have not logged in yet are hostile until they do: the server holds only a
// bounded number of them, so that a stranger cannot exhaust its memory or sockets before any
// check. At most kPerAddress come from one address and kTotal at once; when the total is
// reached, a newcomer still gets in by pushing out the oldest connection of the address that
// holds the most, as long as that address holds more than the newcomer's would. Each of them may
// send only a little before it logs in, and reads at most kPreLoginFrameLimit at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>

namespace tramolin {

class PreLoginGate {
 public:
  static constexpr int kTotal = 64;
  static constexpr int kPerAddress = 8;
  // What one connection may send before it logs in: a client sends its authentication, a few
  // hundred bytes, and perhaps an activity packet. A connection past either bound is closed.
  static constexpr int kPacketsBeforeLogin = 16;
  static constexpr std::uint64_t kBytesBeforeLogin = std::uint64_t{256} * 1024;

  using Key = const void*;  // the connection

  struct Admission {
    bool admitted = false;
    Key evicted = nullptr;  // a connection to close for the newcomer's sake, or none
  };

  // Decides on a new connection from `address` and, when it is admitted, counts it (evicting
  // the connection named in the answer, which the caller closes). Connections from the server's
  // own computer (`local`: 127.0.0.1, ::1) meet only the total: every copy that reaches the
  // server through a tunnel or proxy on it comes from there.
  Admission Admit(Key connection, const std::string& address, bool local = false);
  // The connection logged in or went away; unknown ones are ignored.
  void Remove(Key connection);

  int Count() const { return static_cast<int>(entries_.size()); }

 private:
  struct Entry {
    std::string address;
    unsigned long long order = 0;
  };
  // The address with the most connections, and its count.
  std::pair<std::string, int> Heaviest() const;
  Key OldestFrom(const std::string& address) const;

  std::unordered_map<Key, Entry> entries_;
  std::map<std::string, int> per_address_;
  unsigned long long next_order_ = 0;
};

}  // namespace tramolin
