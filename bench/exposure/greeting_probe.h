// The good client: connects from 127.0.0.1, as a branch on the server's own computer would, and
// times its wait for the server's greeting (pkPolaczenie "0"), through the TLS handshake when the
// server speaks TLS (accepting its self-signed certificate).
#pragma once

#include <QtGlobal>
#include <atomic>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

namespace tramolin::bench {

struct ProbeSettings {
  quint16 port = 0;
  bool tls = false;
  std::chrono::milliseconds timeout{5000};
};

// Milliseconds from the start of the TCP connect until it was established, and until the
// greeting had arrived; nullopt for a step that failed, was cut or ran out of time (or, for the
// greeting, a refusal).
struct ProbeTiming {
  std::optional<double> connected_ms;
  std::optional<double> greeted_ms;
};

ProbeTiming TimeGreeting(const ProbeSettings& settings);

// `count` probes one after another, the first after `delay`, each next one `gap` after the end of
// the one before. They run on a thread of their own with blocking sockets, so that the attack's
// event loop never delays the timing; destroying the series waits for the probe under way.
class ProbeSeries {
 public:
  ProbeSeries(const ProbeSettings& settings, int count, std::chrono::milliseconds delay,
              std::chrono::milliseconds gap);

  bool Done() const { return done_.load(); }
  // Complete once Done().
  const std::vector<ProbeTiming>& Results() const { return results_; }

 private:
  std::vector<ProbeTiming> results_;
  std::atomic<bool> done_{false};
  std::jthread thread_;  // last: joined before the results go
};

}  // namespace tramolin::bench
