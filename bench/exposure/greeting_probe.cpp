#include "greeting_probe.h"

#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <algorithm>
#include <memory>
#include <optional>
#include <string_view>

#include "protocol/frame.h"
#include "protocol/packet_types.h"
#include "protocol/payloads.h"

namespace tramolin::bench {
namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::max<long long>(left.count(), 0));
}

std::unique_ptr<QTcpSocket> ConnectingSocket(const ProbeSettings& settings) {
  if (!settings.tls) {
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QStringLiteral("127.0.0.1"), settings.port);
    return socket;
  }
  auto socket = std::make_unique<QSslSocket>();
  QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
  configuration.setPeerVerifyMode(QSslSocket::VerifyNone);  // a self-signed certificate will do
  socket->setSslConfiguration(configuration);
  socket->connectToHostEncrypted(QStringLiteral("127.0.0.1"), settings.port);
  return socket;
}

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool WaitEncrypted(QTcpSocket& socket, bool tls, Clock::time_point deadline) {
  return !tls || static_cast<QSslSocket&>(socket).waitForEncrypted(MsLeft(deadline));
}

// Reads frames until the first one; true when it is the greeting that accepts the connection.
bool WaitGreeting(QTcpSocket& socket, Clock::time_point deadline) {
  FrameReader reader(kPreLoginFrameLimit);
  while (socket.bytesAvailable() > 0 || socket.waitForReadyRead(MsLeft(deadline))) {
    const QByteArray bytes = socket.readAll();
    reader.Feed(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    const FrameReader::Result frame = reader.Next();
    if (frame.status == FrameReader::Status::kNeedMore) continue;
    return frame.status == FrameReader::Status::kPacket && frame.type == pkPolaczenie &&
           ParseConnectionResult(frame.payload) == kConnectionAccepted;
  }
  return false;
}

}  // namespace

ProbeTiming TimeGreeting(const ProbeSettings& settings) {
  const Clock::time_point start = Clock::now();
  const Clock::time_point deadline = start + settings.timeout;
  const std::unique_ptr<QTcpSocket> socket = ConnectingSocket(settings);
  ProbeTiming timing;
  if (socket->waitForConnected(MsLeft(deadline))) timing.connected_ms = MsSince(start);
  if (timing.connected_ms && WaitEncrypted(*socket, settings.tls, deadline) &&
      WaitGreeting(*socket, deadline)) {
    timing.greeted_ms = MsSince(start);
  }
  socket->abort();
  return timing;
}

ProbeSeries::ProbeSeries(const ProbeSettings& settings, int count, std::chrono::milliseconds delay,
                         std::chrono::milliseconds gap)
    : thread_([this, settings, count, delay, gap](const std::stop_token& stop) {
        std::this_thread::sleep_for(delay);
        for (int probe = 0; probe < count && !stop.stop_requested(); ++probe) {
          if (probe > 0) std::this_thread::sleep_for(gap);
          results_.push_back(TimeGreeting(settings));
        }
        done_.store(true);
      }) {}

}  // namespace tramolin::bench
