#include "net/packet_listener.h"

#include <unistd.h>

#include <QPointer>
#include <QTimer>
#include <memory>

#include "net/tls.h"

namespace tramolin {
namespace {

constexpr char kHandshakeReported[] = "tramolinHandshakeReported";
// Connections the kernel queues before they are accepted. Qt's 50 fill up under a crowd of
// peers connecting at once, and a good client's SYN dropped beyond them waits a second or more
// for its retry; the kernel caps the number at net.core.somaxconn.
constexpr int kListenBacklog = 1024;

}  // namespace

PacketListener::PacketListener(std::optional<QSslConfiguration> tls, int handshake_timeout_ms,
                               QObject* parent)
    : QTcpServer(parent), tls_(std::move(tls)), handshake_timeout_ms_(handshake_timeout_ms) {
  setListenBacklogSize(kListenBacklog);
}

void PacketListener::incomingConnection(qintptr handle) {
  std::unique_ptr<QTcpSocket> socket =
      tls_ ? std::make_unique<QSslSocket>() : std::make_unique<QTcpSocket>();
  if (!socket->setSocketDescriptor(handle)) {
    ::close(static_cast<int>(handle));
    return;
  }
  // The receiver may refuse the peer at once; the handshake, the costly part of a TLS connection
  // (a context of its own, then the key exchange), starts only for a socket it kept.
  const QPointer<QTcpSocket> kept(socket.get());
  emit socketAccepted(socket.release());
  if (tls_ && !kept.isNull() && kept->state() == QAbstractSocket::ConnectedState) {
    StartHandshake(static_cast<QSslSocket&>(*kept));
  }
}

void PacketListener::StartHandshake(QSslSocket& socket) {
  socket.setSslConfiguration(*tls_);
  QSslSocket* peer = &socket;
  connect(peer, &QSslSocket::errorOccurred, this,
          [this, peer] { ReportHandshakeFailure(*peer, peer->errorString()); });
  connect(peer, &QSslSocket::sslErrors, this, [this, peer](const QList<QSslError>& errors) {
    ReportHandshakeFailure(*peer, QString::fromStdString(ErrorsText(errors)));
  });
  QTimer::singleShot(handshake_timeout_ms_, peer, [this, peer] {
    if (peer->isEncrypted()) return;
    ReportHandshakeFailure(*peer, QStringLiteral("przekroczono czas uzgadniania"));
    peer->abort();
  });
  socket.startServerEncryption();
}

// Only failures before the connection opened: a peer that goes later is a disconnection.
void PacketListener::ReportHandshakeFailure(QSslSocket& socket, const QString& reason) {
  if (socket.isEncrypted() || socket.property(kHandshakeReported).toBool()) return;
  socket.setProperty(kHandshakeReported, true);
  emit handshakeFailed(&socket, reason);
}

}  // namespace tramolin
