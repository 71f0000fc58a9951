// The client's connection to the replication server: which address is tried (primary, looked up
// at the address service, alternative), the attempt, the socket's events, the schedule of the next
// attempt after a failure or a disconnection, and the reply time-out that drops a server gone
// silent. What travels over the connection is the synchronisation cycle's business.
//
// The socket (CS) is a PacketConnection parented to the link. A connection being dropped is
// detached from the link at once, flushes what was handed to it (an error report, say) and deletes
// itself when closed; a dropped connection never reports back.
#pragma once

#include <QObject>
#include <QSslSocket>
#include <QString>
#include <QTcpSocket>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "client/client_rules.h"
#include "protocol/packet_types.h"
#include "protocol/traffic_counters.h"

namespace tramolin {

class PacketConnection;
class ReplicationClient;

struct LookedUpAddress {
  std::string host;
  int port = 0;
};

// Where the server is now, as the address service says. The answer may come later; `done` is
// called exactly once, with nothing when the service had no usable address.
class ServerAddressLookup {
 public:
  virtual ~ServerAddressLookup() = default;
  virtual void LookUp(std::function<void(std::optional<LookedUpAddress>)> done) = 0;
};

class ServerLink : public QObject {
  Q_OBJECT

 public:
  explicit ServerLink(ReplicationClient& client);
  ~ServerLink() override;

  // tmrKConnect: one connection attempt with the address of the current source.
  void tmrKConnectTimer();
  // tmrKTimeOut: a server silent in a state that waits for it is dropped.
  void tmrKTimeOutTimer();
  // Drops the connection and schedules the next attempt: 250 ms when immediate, otherwise one
  // minute (none in on-demand mode).
  void ScheduleReconnect(bool immediate);
  // The alternative address when usable, else the one-minute pause with the primary next.
  void FallBackToAlternative();

  // Builds the packet and hands it to the connection; false when nothing was written.
  bool SendPacket(PacketType type, std::string_view payload);
  // Hands a packet built beforehand (BuildPacketFrom) to the connection.
  bool SendFrame(std::string_view frame);

  AddressSource Tag() const { return tag_; }
  void SetTag(AddressSource tag) { tag_ = tag; }
  // The address of the current or last attempt.
  const QString& Host() const { return host_; }
  quint16 Port() const { return port_; }
  bool Connected() const { return cs_ != nullptr && cs_open_; }
  // Counts the connections dropped: work done for one connection is not carried into the next.
  int Epoch() const { return epoch_; }
  const TrafficCounters& Traffic() const { return traffic_; }

 private:
  void DatabaseUnavailable();
  // The attempt with the address of the current source, unless one is under way.
  void ConnectNow();
  void ConnectThrough(AddressSource source);
  void LookUpAndConnect();
  void Activate(const QString& host, quint16 port);
  std::unique_ptr<QTcpSocket> NewSocket();
  void CheckCertificate(QSslSocket& socket, const QList<QSslError>& errors);
  void CheckPinnedCertificate(QSslSocket& socket);
  // Closes and detaches the connection; true when it was open.
  bool Deactivate();
  void NextSourceAfterFailure();

  // Socket events of the connection in use.
  void CSConnecting();
  void CSConnect();
  void CSDisconnect();
  void CSError(QAbstractSocket::SocketError error);
  void CSRead(std::uint8_t type, const std::string& payload);
  void CSOverflow();

  ReplicationClient& client_;
  PacketConnection* cs_ = nullptr;
  bool cs_open_ = false;
  AddressSource tag_ = AddressSource::kPrimary;
  QString host_;
  quint16 port_ = 0;
  bool lookup_pending_ = false;
  bool connecting_database_ = false;
  int epoch_ = 0;
  TrafficCounters traffic_;
};

}  // namespace tramolin
