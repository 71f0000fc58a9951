// A crowd of hostile connections to a replication server from many loopback addresses (127.0.0.2
// onward; Linux routes all of 127/8 to the loopback device), each sending what the crowd's script
// says and, when the server cuts it, connecting again after a pause.
#pragma once

#include <QObject>
#include <QTcpSocket>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tramolin::bench {

struct CrowdSettings {
  quint16 port = 0;
  bool tls = false;  // each connection finishes a TLS handshake before it sends anything
  int connections = 0;
  int addresses = 40;  // the connections are spread over this many source addresses
  // A connection the server ended is made again after this pause; nullopt: it stays closed.
  std::optional<std::chrono::milliseconds> reconnect_after;
};

// What every connection of a crowd sends.
struct CrowdScript {
  std::string opening;  // once the connection is open (connected; with TLS, encrypted)
  std::string refill;   // again whenever fewer than 64 KiB wait unsent; empty: nothing more
};

struct CrowdCounters {
  long long opened = 0;  // TCP connections established
  long long cut = 0;     // established ones that the server ended
  long long failed = 0;  // connects that never got established
  long long sent = 0;    // bytes the network took (before encryption)

  CrowdCounters& operator+=(const CrowdCounters& other);
};

class AttackerCrowd {
 public:
  AttackerCrowd(const CrowdSettings& settings, CrowdScript script);
  ~AttackerCrowd();
  AttackerCrowd(const AttackerCrowd&) = delete;
  AttackerCrowd& operator=(const AttackerCrowd&) = delete;

  void ConnectAll();
  // Each connection once the one before it is established or has failed.
  void ConnectOneByOne();
  // Aborts every connection; none is made again.
  void CloseAll();

  const CrowdCounters& Counters() const { return counters_; }

 private:
  struct Member {
    std::unique_ptr<QTcpSocket> socket;
    bool established = false;
  };

  void Connect(std::size_t index);
  std::unique_ptr<QTcpSocket> NewSocket() const;
  void Watch(std::size_t index, QTcpSocket* socket);
  void Established(std::size_t index);
  void Send(std::size_t index);
  void Refill(std::size_t index, qint64 written);
  void Lost(std::size_t index, QTcpSocket* socket);
  void ConnectNextInTurn(std::size_t index);

  CrowdSettings settings_;
  CrowdScript script_;
  CrowdCounters counters_;
  std::vector<Member> members_;
  bool one_by_one_ = false;
  bool closing_ = false;
  QObject context_;  // receiver of the sockets' signals and of the reconnection timers
};

}  // namespace tramolin::bench
