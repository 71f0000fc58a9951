// Wire grammar of a connection (bytes, no terminator, no framing beyond this):
//   stream  = *frame
//   frame   = type ";" length ";" encoded
//   type    = one raw byte, the packet type 1-11
//   length  = 1*DIGIT, the number of characters of encoded
//   encoded = base64 (no "=") of a zlib stream of: 4-byte little-endian text length, text
// Frames may arrive split over many reads or several in one read; the frame reader keeps the
// bytes after a frame for the next one. A length that is not a decimal number or lies above the
// limit, or a decoded length above it, is an overflow.
#include "net/packet_connection.h"

#include <QPointer>
#include <QSslSocket>

namespace tramolin {

namespace {

// What a held or bounded connection's socket takes from the network before it is read.
constexpr qint64 kBoundedBytes = 64 * 1024;

bool Established(const QTcpSocket& socket) {
  if (socket.state() != QAbstractSocket::ConnectedState) return false;
  const auto* tls = qobject_cast<const QSslSocket*>(&socket);
  return tls == nullptr || tls->isEncrypted();
}

}  // namespace

std::string_view SocketErrorEventName(QAbstractSocket::SocketError error, bool writing) {
  switch (error) {
    case QAbstractSocket::RemoteHostClosedError:
      return "eeDisconnect";
    case QAbstractSocket::ConnectionRefusedError:
    case QAbstractSocket::HostNotFoundError:
      return "eeConnect";
    case QAbstractSocket::NetworkError:
    case QAbstractSocket::SocketTimeoutError:
      return writing ? "eeSend" : "eeReceive";
    default:
      return "eeGeneral";
  }
}

PacketConnection::PacketConnection(std::unique_ptr<QTcpSocket> socket,
                                   TrafficCounters* program_counters, std::size_t frame_limit,
                                   QObject* parent)
    : QObject(parent),
      socket_(std::move(socket)),
      program_counters_(program_counters),
      reader_(frame_limit),
      state_(Established(*socket_) ? State::kOpen : State::kConnecting) {
  // A TLS connection opens when its handshake is done; frames never travel in clear.
  if (auto* tls = qobject_cast<QSslSocket*>(socket_.get())) {
    connect(tls, &QSslSocket::encrypted, this, &PacketConnection::OnConnected);
  } else {
    connect(socket_.get(), &QTcpSocket::connected, this, &PacketConnection::OnConnected);
  }
  connect(socket_.get(), &QTcpSocket::readyRead, this, &PacketConnection::OnReadyRead);
  connect(socket_.get(), &QTcpSocket::disconnected, this, &PacketConnection::OnDisconnected);
  connect(socket_.get(), &QTcpSocket::errorOccurred, this, &PacketConnection::OnSocketError);
  if (state_ == State::kOpen) ApplyKeepAlive();
  // Bytes that arrived before the wrapper existed are read once its owner has connected to it.
  if (state_ == State::kOpen) {
    QMetaObject::invokeMethod(this, &PacketConnection::OnReadyRead, Qt::QueuedConnection);
  }
}

PacketConnection::~PacketConnection() {
  // The socket's own signals must not reach a half-destroyed wrapper.
  socket_->disconnect(this);
  socket_->abort();
}

void PacketConnection::ConnectToHost(const QString& host, quint16 port) {
  state_ = State::kConnecting;
  if (auto* tls = qobject_cast<QSslSocket*>(socket_.get())) {
    tls->connectToHostEncrypted(host, port);
  } else {
    socket_->connectToHost(host, port);
  }
}

void PacketConnection::SetKeepAlive(const KeepAlive& settings) {
  keep_alive_ = settings;
  if (state_ == State::kOpen) ApplyKeepAlive();
}

void PacketConnection::ApplyKeepAlive() {
  tramolin::ApplyKeepAlive(socket_->socketDescriptor(), keep_alive_);
}

void PacketConnection::HoldIncoming() {
  held_ = true;
  ApplyReadBufferSize();
}

void PacketConnection::ReleaseIncoming() {
  if (!held_) return;
  held_ = false;
  ApplyReadBufferSize();
  OnReadyRead();  // frames that waited in the reader, and what the socket took meanwhile
}

void PacketConnection::BoundIncoming(bool bounded) {
  bounded_ = bounded;
  ApplyReadBufferSize();
}

void PacketConnection::ApplyReadBufferSize() {
  socket_->setReadBufferSize(held_ || bounded_ ? kBoundedBytes : 0);
}

bool PacketConnection::SendFrame(std::string_view frame) {
  if (frame.empty() || (state_ != State::kOpen && state_ != State::kOverflowed)) return false;
  // The socket keeps in its write buffer whatever the network does not take at once.
  const qint64 taken = socket_->write(frame.data(), static_cast<qint64>(frame.size()));
  if (taken != static_cast<qint64>(frame.size())) return false;
  counters_.CountSent(frame.size());
  if (program_counters_ != nullptr) program_counters_->CountSent(frame.size());
  return true;
}

void PacketConnection::Close() {
  if (state_ == State::kClosed || state_ == State::kClosing) return;
  state_ = State::kClosing;
  socket_->disconnectFromHost();
}

void PacketConnection::Abort() {
  if (state_ != State::kClosed) socket_->abort();
}

QString PacketConnection::PeerAddress() const { return socket_->peerAddress().toString(); }

quint16 PacketConnection::PeerPort() const { return socket_->peerPort(); }

void PacketConnection::OnConnected() {
  state_ = State::kOpen;
  ApplyKeepAlive();
  emit connected();
}

void PacketConnection::OnReadyRead() {
  if (held_ || state_ == State::kClosed) return;
  const QByteArray chunk = socket_->readAll();
  CountReceived(static_cast<std::size_t>(chunk.size()));
  if (state_ != State::kOpen) return;
  reader_.Feed(std::string_view(chunk.constData(), static_cast<std::size_t>(chunk.size())));
  DeliverFrames();
}

bool PacketConnection::DeliverFrames() {
  const QPointer<PacketConnection> alive(this);
  for (;;) {
    FrameReader::Result result = reader_.Next();
    switch (result.status) {
      case FrameReader::Status::kNeedMore:
        return true;
      case FrameReader::Status::kPacket:
        emit packetReceived(result.type, result.payload);
        break;
      case FrameReader::Status::kCorrupt:
        emit corruptPacket(result.type);
        break;
      case FrameReader::Status::kOverflow:
        state_ = State::kOverflowed;
        emit overflowed();
        return false;
    }
    // A receiver that holds the connection takes the frames after this one on its release.
    if (alive.isNull() || state_ != State::kOpen || held_) return false;
  }
}

void PacketConnection::OnDisconnected() {
  if (state_ == State::kClosed) return;
  state_ = State::kClosed;
  emit disconnected();
}

void PacketConnection::OnSocketError(QAbstractSocket::SocketError) {
  // A failed connection attempt ends without a disconnected() from the socket.
  if (state_ == State::kConnecting && socket_->state() == QAbstractSocket::UnconnectedState) {
    OnDisconnected();
  }
}

void PacketConnection::CountReceived(std::size_t bytes) {
  counters_.CountReceived(bytes);
  if (program_counters_ != nullptr) program_counters_->CountReceived(bytes);
}

}  // namespace tramolin
