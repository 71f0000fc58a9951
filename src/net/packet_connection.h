// One replication connection: writes whole packet frames to a TCP socket and turns the bytes it
// receives into packets, however the network splits or joins them. Never blocks the event loop.
#pragma once

#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "net/keep_alive.h"
#include "protocol/frame.h"
#include "protocol/traffic_counters.h"

namespace tramolin {

// The name logged for a socket error ("eeGeneral", "eeConnect", "eeDisconnect", "eeSend",
// "eeReceive"): a network failure while frames wait to be written is a sending one.
std::string_view SocketErrorEventName(QAbstractSocket::SocketError error, bool writing);

// Owns its socket (accepted by a server, or connecting as a client), plain or TLS (a QSslSocket:
// it connects encrypted and opens only when the handshake is done). Signals are meant for
// direct connections on the socket's thread. A slot connected to them may close the
// connection; to destroy it, use deleteLater(), never delete inside a slot.
class PacketConnection : public QObject {
  Q_OBJECT

 public:
  enum class State {
    kConnecting,  // a client socket not connected yet
    kOpen,        // frames flow both ways
    kOverflowed,  // received data broke the frame limits: input is dropped, sending still works
    kClosing,     // Close() was called: input is dropped, frames handed over earlier are written
    kClosed,      // disconnected; nothing is sent or received
  };

  // program_counters, when given, must outlive the connection; they count this connection's
  // traffic next to the connection's own Counters().
  explicit PacketConnection(std::unique_ptr<QTcpSocket> socket,
                            TrafficCounters* program_counters = nullptr,
                            std::size_t frame_limit = kDefaultFrameLimit,
                            QObject* parent = nullptr);
  ~PacketConnection() override;

  // Starts a client connection; connected() or disconnected() follows.
  void ConnectToHost(const QString& host, quint16 port);

  // The largest frame taken from now on; a larger one is an overflow.
  void SetFrameLimit(std::size_t limit) { reader_.SetLimit(limit); }
  // TCP keepalive of the socket (on by default), applied as soon as it is connected.
  void SetKeepAlive(const KeepAlive& settings);
  // While held, nothing arrives: the bytes wait in the socket, which takes at most 64 KiB from
  // the network meanwhile. Release delivers what waited, in order.
  void HoldIncoming();
  void ReleaseIncoming();
  // Whether the socket takes at most 64 KiB from the network before it is read, also while not
  // held (a peer not trusted yet), or as much as the network brings (the default).
  void BoundIncoming(bool bounded);

  // Hands a complete frame (BuildPacket) to the socket, which writes it whole as soon as the
  // network takes it, and counts its length as sent. An empty frame (built while closing) and
  // any frame on a connection that is not open or overflowed are ignored; returns whether the
  // frame was taken.
  bool SendFrame(std::string_view frame);

  // Closes after the frames handed over so far are written; disconnected() follows. From now on
  // no packet is delivered, not even one that already arrived, and no frame is taken.
  void Close();
  // Closes at once, dropping unwritten frames.
  void Abort();

  State state() const { return state_; }
  const TrafficCounters& Counters() const { return counters_; }
  QTcpSocket& Socket() { return *socket_; }
  // Address and port of the peer, "" and 0 when unknown.
  QString PeerAddress() const;
  quint16 PeerPort() const;

 signals:
  void connected();
  // A complete packet: its type byte and decoded payload text.
  void packetReceived(std::uint8_t type, const std::string& payload);
  // A complete frame whose payload did not decode ("error"); the connection carries on.
  void corruptPacket(std::uint8_t type);
  // The peer broke the frame limits. Emitted once; the owner reports it to the peer and closes.
  void overflowed();
  // Emitted once, also when the connection never opened.
  void disconnected();

 private:
  void OnConnected();
  void OnReadyRead();
  void OnDisconnected();
  void OnSocketError(QAbstractSocket::SocketError error);
  // Emits one signal per complete frame until the reader needs more or a receiver holds the
  // connection; false when the connection went away, overflowed or was held meanwhile.
  bool DeliverFrames();
  void CountReceived(std::size_t bytes);
  void ApplyKeepAlive();
  void ApplyReadBufferSize();

  std::unique_ptr<QTcpSocket> socket_;
  TrafficCounters* program_counters_;
  TrafficCounters counters_;
  FrameReader reader_;
  State state_;
  KeepAlive keep_alive_;
  bool held_ = false;
  bool bounded_ = false;
};

}  // namespace tramolin
