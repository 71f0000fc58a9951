// How quickly a busy replication server answers: logs in as a technician from 127.0.0.1 (no
// database check and no copy number, so no client's slot or worker is touched), then sends an
// activity request (pkAktywnosc) every interval on a fixed schedule, whether or not the answers
// to the requests before it have come, and times each answer (pkAktywnoscOdp) against its
// request; the server answers a connection's packets in the order they came. Runs until SIGTERM
// or SIGINT, waits a little for answers still owed, and prints its figures for bench/e2e/run.sh:
//
//   activity_probe --port 17846 [--interval-ms 100]
//   -> logged-in                                     (once the login is through)
//      count=<requests> answered=<n> median_ms=<ms> p99_ms=<ms> max_ms=<ms>
//
// A failed login prints its reason to stderr and ends with status 1.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTcpSocket>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/database_identity.h"
#include "protocol/frame.h"
#include "protocol/packet_types.h"
#include "protocol/payloads.h"

namespace tramolin::bench {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kLoginTimeout{10000};
constexpr milliseconds kDrainTime{2000};  // for answers still owed when told to stop

std::atomic<bool> stop_requested{false};

void RequestStop(int /*signal*/) { stop_requested.store(true); }

void InstallStopHandlers() {
  struct sigaction action = {};
  action.sa_handler = RequestStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

int MsUntil(Clock::time_point moment) {
  const auto left = std::chrono::duration_cast<milliseconds>(moment - Clock::now());
  return static_cast<int>(std::max<long long>(left.count(), 0));
}

double MsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

class ProbeConnection {
 public:
  bool Connect(quint16 port, Clock::time_point deadline) {
    socket_.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket_.waitForConnected(MsUntil(deadline))) return false;
    // Requests may be owed several at a time; Nagle's algorithm would hold a request back until
    // the one before it had been acknowledged.
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    return true;
  }

  void Send(PacketType type, std::string_view payload) {
    const std::string frame = BuildPacket(type, payload, false);
    socket_.write(frame.data(), static_cast<qint64>(frame.size()));
    socket_.flush();
  }

  // The next frame that arrives before the deadline; nullopt when none did, or the connection
  // broke or sent what is no frame.
  std::optional<FrameReader::Result> Next(Clock::time_point deadline) {
    for (;;) {
      FrameReader::Result frame = reader_.Next();
      if (frame.status == FrameReader::Status::kPacket) return frame;
      if (frame.status == FrameReader::Status::kOverflow) socket_.abort();  // the reader is spent
      if (frame.status != FrameReader::Status::kNeedMore) return std::nullopt;
      if (socket_.bytesAvailable() == 0 && !socket_.waitForReadyRead(MsUntil(deadline))) {
        return std::nullopt;
      }
      const QByteArray bytes = socket_.readAll();
      reader_.Feed(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    }
  }

  bool Open() const { return socket_.state() == QAbstractSocket::ConnectedState; }

 private:
  QTcpSocket socket_;
  FrameReader reader_;
};

// The next packet is `type` and `parse` reads `expected` from it; else says `failure`.
bool Answered(ProbeConnection& connection, Clock::time_point deadline, std::uint8_t type,
              int (*parse)(std::string_view), int expected, const char* failure) {
  const std::optional<FrameReader::Result> answer = connection.Next(deadline);
  if (answer && answer->type == type && parse(answer->payload) == expected) return true;
  std::fprintf(stderr, "activity_probe: %s\n", failure);
  return false;
}

// The server's greeting, then a technician's authentication and its verification.
bool LogIn(ProbeConnection& connection, quint16 port) {
  const Clock::time_point deadline = Clock::now() + kLoginTimeout;
  if (!connection.Connect(port, deadline)) {
    std::fprintf(stderr, "activity_probe: no connection to port %u\n", port);
    return false;
  }
  if (!Answered(connection, deadline, pkPolaczenie, ParseConnectionResult, kConnectionAccepted,
                "the server did not accept the connection")) {
    return false;
  }
  TAUTHData technician;
  technician.DBNR = -1;
  technician.RepVer = TRAMOLIN_VERSION;
  technician.Serwisant = true;
  technician.BAZA_VER_HIGH = std::to_string(BAZA_VER_HIGH);
  connection.Send(pkAutoryzacja, BuildAuthData(technician));
  return Answered(connection, deadline, pkWeryfikacja, ParseVerificationResult, kVerificationOk,
                  "the technician's login was refused");
}

struct Timings {
  int requests = 0;
  std::vector<double> round_trips_ms;
};

// Requests on schedule until told to stop, then the answers still owed for a little while.
Timings Measure(ProbeConnection& connection, milliseconds interval) {
  Timings timings;
  std::deque<Clock::time_point> owed;  // the send times of the requests not answered yet
  const Clock::time_point start = Clock::now();
  Clock::time_point drain_end{};
  for (;;) {
    const bool stopping = stop_requested.load();
    if (stopping && drain_end == Clock::time_point{}) drain_end = Clock::now() + kDrainTime;
    if (stopping && (owed.empty() || Clock::now() >= drain_end)) break;
    if (!connection.Open()) break;
    const Clock::time_point next_request = start + interval * timings.requests;
    if (!stopping && Clock::now() >= next_request) {
      owed.push_back(Clock::now());
      connection.Send(pkAktywnosc, "");
      ++timings.requests;
      continue;
    }
    const Clock::time_point wait_until = stopping ? drain_end : next_request;
    const std::optional<FrameReader::Result> frame = connection.Next(wait_until);
    const Clock::time_point arrived = Clock::now();
    if (frame && frame->type == pkAktywnoscOdp && !owed.empty()) {
      timings.round_trips_ms.push_back(MsBetween(owed.front(), arrived));
      owed.pop_front();
    }
  }
  return timings;
}

// The value below which the given share of the sorted values lies (nearest rank).
double Percentile(const std::vector<double>& sorted, double share) {
  if (sorted.empty()) return 0;
  const auto rank = static_cast<std::size_t>(std::ceil(share * static_cast<double>(sorted.size())));
  return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

}  // namespace
}  // namespace tramolin::bench

int main(int argc, char** argv) {
  using namespace tramolin::bench;
  QCoreApplication app(argc, argv);
  QCommandLineParser parser;
  parser.setApplicationDescription("Times a replication server's answers to activity requests.");
  parser.addHelpOption();
  parser.addOptions({
      {"port", "The server's port.", "port"},
      {"interval-ms", "Time between two requests (100).", "ms", "100"},
  });
  parser.process(app);
  const quint16 port = parser.value("port").toUShort();
  const int interval_ms = parser.value("interval-ms").toInt();
  if (port == 0 || interval_ms <= 0) {
    std::fprintf(stderr, "activity_probe: --port and a positive --interval-ms are needed\n");
    return 2;
  }
  InstallStopHandlers();
  ProbeConnection connection;
  if (!LogIn(connection, port)) return 1;
  std::printf("logged-in\n");
  std::fflush(stdout);
  Timings timings = Measure(connection, milliseconds(interval_ms));
  std::vector<double>& sorted = timings.round_trips_ms;
  std::sort(sorted.begin(), sorted.end());
  std::printf("count=%d answered=%zu median_ms=%.2f p99_ms=%.2f max_ms=%.2f\n", timings.requests,
              sorted.size(), Percentile(sorted, 0.5), Percentile(sorted, 0.99),
              sorted.empty() ? 0.0 : sorted.back());
  return 0;
}
