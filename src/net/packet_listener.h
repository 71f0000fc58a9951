// The listening socket of a replication server: accepts TCP connections, plain or TLS, and hands
// each one over at once as a socket of its own; a TLS socket the receiver keeps then starts its
// handshake, watched by a time-out. Connections never wait in Qt's queue of pending connections,
// whose fixed size peers that never finish a handshake could otherwise fill for good.
#pragma once

#include <QSslConfiguration>
#include <QSslSocket>
#include <QString>
#include <QTcpServer>
#include <optional>

namespace tramolin {

class PacketListener : public QTcpServer {
  Q_OBJECT

 public:
  // With a TLS configuration every connection is TLS; a peer that has not finished its handshake
  // after handshake_timeout_ms is told by handshakeFailed and cut off.
  PacketListener(std::optional<QSslConfiguration> tls, int handshake_timeout_ms,
                 QObject* parent = nullptr);

  bool Tls() const { return tls_.has_value(); }

 signals:
  // A new connection. The receiver owns the socket from now on (a QSslSocket with TLS, opening
  // once encrypted) and may delete or abort it at once, before any TLS work is done.
  void socketAccepted(QTcpSocket* socket);
  // A TLS peer whose handshake failed or stalled; told once per peer.
  void handshakeFailed(QSslSocket* socket, const QString& reason);

 protected:
  void incomingConnection(qintptr handle) override;

 private:
  void StartHandshake(QSslSocket& socket);
  void ReportHandshakeFailure(QSslSocket& socket, const QString& reason);

  std::optional<QSslConfiguration> tls_;
  int handshake_timeout_ms_;
};

}  // namespace tramolin
