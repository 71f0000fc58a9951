#include "tcp_proxy.h"

#include <QHostAddress>
#include <algorithm>

namespace tramolin::testing {

TcpProxy::TcpProxy(quint16 target_port) : target_port_(target_port) {
  QObject::connect(&listener_, &QTcpServer::newConnection, &listener_, [this] { Accept(); });
  listener_.listen(QHostAddress::LocalHost, 0);
}

TcpProxy::~TcpProxy() {
  listener_.close();
  for (auto& link : links_list_) {
    link->client->disconnect();
    link->server->disconnect();
    link->client->abort();
    link->server->abort();
  }
}

void TcpProxy::CutAfterBytes(Direction direction, std::int64_t bytes) {
  rule_ = Rule{direction, bytes, std::nullopt, FrameFate::kDelivered};
}

void TcpProxy::CutAtFrame(Direction direction, std::uint8_t type, FrameFate fate) {
  rule_ = Rule{direction, 0, type, fate};
}

void TcpProxy::Accept() {
  while (QTcpSocket* accepted = listener_.nextPendingConnection()) {
    accepted->setParent(nullptr);
    auto link = std::make_unique<Link>();
    link->client.reset(accepted);
    link->server = std::make_unique<QTcpSocket>();
    Link& l = *link;
    links_list_.push_back(std::move(link));
    ++links_;
    QObject::connect(l.client.get(), &QTcpSocket::readyRead, l.client.get(),
                     [this, &l] { Forward(l, Direction::kClientToServer); });
    QObject::connect(l.server.get(), &QTcpSocket::readyRead, l.server.get(),
                     [this, &l] { Forward(l, Direction::kServerToClient); });
    // An end on one side ends the other once what was forwarded to it is written.
    QObject::connect(l.client.get(), &QTcpSocket::disconnected, l.server.get(),
                     [&l] { l.server->disconnectFromHost(); });
    QObject::connect(l.server.get(), &QTcpSocket::disconnected, l.client.get(),
                     [&l] { l.client->disconnectFromHost(); });
    l.server->connectToHost(QHostAddress::LocalHost, target_port_);
  }
}

void TcpProxy::Forward(Link& link, Direction direction) {
  if (link.cut) return;
  QTcpSocket& from = direction == Direction::kServerToClient ? *link.server : *link.client;
  QTcpSocket& to = direction == Direction::kServerToClient ? *link.client : *link.server;
  const QByteArray data = from.readAll();
  const auto size = static_cast<std::size_t>(data.size());
  FrameScanner& scanner = link.scanners[Index(direction)];
  std::vector<std::uint8_t>& frames = frames_[Index(direction)];
  std::size_t take = size;
  bool cut = false;
  if (rule_ && rule_->direction == direction) {
    if (rule_->frame_type) {
      const FrameScanner::Stop stop = scanner.Scan(data.constData(), size, rule_->frame_type,
                                                   rule_->fate == FrameFate::kDropped, frames);
      take = stop.taken;
      cut = stop.stopped;
    } else {
      take = static_cast<std::size_t>(std::min<std::int64_t>(rule_->bytes_left, size));
      rule_->bytes_left -= static_cast<std::int64_t>(take);
      cut = rule_->bytes_left == 0;
      scanner.Scan(data.constData(), take, std::nullopt, false, frames);
    }
  } else {
    scanner.Scan(data.constData(), size, std::nullopt, false, frames);
  }
  if (take > 0) to.write(data.constData(), static_cast<qint64>(take));
  if (!cut) return;
  last_cut_ = {};
  if (scanner.part != FrameScanner::Part::kType) {
    last_cut_.frame_type = scanner.type;
    last_cut_.frame_bytes = scanner.length;
    last_cut_.passed = scanner.passed;
  }
  rule_.reset();
  Cut(link, direction);
}

// The sender's socket is aborted; the receiver's is closed as soon as the bytes delivered to
// it are written, so that it sees exactly those bytes and then the end of the link.
void TcpProxy::Cut(Link& link, Direction direction) {
  link.cut = true;
  ++cuts_;
  QTcpSocket& from = direction == Direction::kServerToClient ? *link.server : *link.client;
  QTcpSocket& to = direction == Direction::kServerToClient ? *link.client : *link.server;
  from.disconnect();
  to.disconnect();
  from.abort();
  to.flush();
  to.disconnectFromHost();
}

TcpProxy::FrameScanner::Stop TcpProxy::FrameScanner::Scan(const char* data, std::size_t size,
                                                          std::optional<std::uint8_t> stop_type,
                                                          bool before,
                                                          std::vector<std::uint8_t>& frames) {
  std::size_t i = 0;
  while (i < size) {
    switch (part) {
      case Part::kType:
        type = static_cast<std::uint8_t>(data[i]);
        if (before && stop_type == type) return {i, true};
        ++i;
        passed = 1;
        length = 0;
        part = Part::kSeparator;
        continue;
      case Part::kSeparator:
        ++i;
        ++passed;
        part = Part::kLength;
        continue;
      case Part::kLength: {
        const char c = data[i++];
        ++passed;
        if (c != ';') {
          length = length * 10 + (c - '0');
          continue;
        }
        part = Part::kBody;
        left = length;
        break;
      }
      case Part::kBody: {
        const auto n = std::min<std::int64_t>(left, static_cast<std::int64_t>(size - i));
        i += static_cast<std::size_t>(n);
        left -= n;
        passed += n;
        break;
      }
    }
    if (part == Part::kBody && left == 0) {
      frames.push_back(type);
      part = Part::kType;
      passed = 0;
      if (!before && stop_type == type) return {i, true};
    }
  }
  return {size, false};
}

}  // namespace tramolin::testing
