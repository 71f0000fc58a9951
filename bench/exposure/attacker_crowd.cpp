#include "attacker_crowd.h"

#include <QHostAddress>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>
#include <utility>

namespace tramolin::bench {
namespace {

constexpr quint32 kFirstAddress = 0x7F000002;  // 127.0.0.2
constexpr qint64 kLowWater = qint64{64} * 1024;

qint64 Unsent(const QTcpSocket& socket) {
  const auto* tls = qobject_cast<const QSslSocket*>(&socket);
  return socket.bytesToWrite() + (tls != nullptr ? tls->encryptedBytesToWrite() : 0);
}

void Write(QTcpSocket& socket, const std::string& bytes) {
  if (!bytes.empty()) socket.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

}  // namespace

CrowdCounters& CrowdCounters::operator+=(const CrowdCounters& other) {
  opened += other.opened;
  cut += other.cut;
  failed += other.failed;
  sent += other.sent;
  return *this;
}

AttackerCrowd::AttackerCrowd(const CrowdSettings& settings, CrowdScript script)
    : settings_(settings),
      script_(std::move(script)),
      members_(static_cast<std::size_t>(settings.connections)) {}

AttackerCrowd::~AttackerCrowd() { CloseAll(); }

void AttackerCrowd::ConnectAll() {
  for (std::size_t index = 0; index < members_.size(); ++index) Connect(index);
}

void AttackerCrowd::ConnectOneByOne() {
  one_by_one_ = true;
  if (!members_.empty()) Connect(0);
}

void AttackerCrowd::CloseAll() {
  closing_ = true;
  for (Member& member : members_) {
    if (member.socket) member.socket->abort();
  }
  members_.clear();
}

void AttackerCrowd::Connect(std::size_t index) {
  if (closing_) return;
  Member& member = members_[index];
  member = Member{NewSocket(), false};
  const auto address = static_cast<quint32>(index % static_cast<std::size_t>(settings_.addresses));
  member.socket->bind(QHostAddress(kFirstAddress + address), 0);
  Watch(index, member.socket.get());
  if (auto* tls = qobject_cast<QSslSocket*>(member.socket.get())) {
    tls->connectToHostEncrypted(QStringLiteral("127.0.0.1"), settings_.port);
  } else {
    member.socket->connectToHost(QStringLiteral("127.0.0.1"), settings_.port);
  }
}

std::unique_ptr<QTcpSocket> AttackerCrowd::NewSocket() const {
  if (!settings_.tls) return std::make_unique<QTcpSocket>();
  auto socket = std::make_unique<QSslSocket>();
  QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
  configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
  socket->setSslConfiguration(configuration);
  return socket;
}

void AttackerCrowd::Watch(std::size_t index, QTcpSocket* socket) {
  QObject::connect(socket, &QTcpSocket::connected, &context_, [this, index] {
    Established(index);
    if (!settings_.tls) Send(index);
  });
  if (auto* tls = qobject_cast<QSslSocket*>(socket)) {
    QObject::connect(tls, &QSslSocket::encrypted, &context_, [this, index] { Send(index); });
    // bytesWritten comes when the text is encrypted; the network takes it later.
    QObject::connect(tls, &QSslSocket::encryptedBytesWritten, &context_,
                     [this, index] { Refill(index, 0); });
  }
  QObject::connect(socket, &QTcpSocket::bytesWritten, &context_,
                   [this, index](qint64 written) { Refill(index, written); });
  QObject::connect(socket, &QTcpSocket::disconnected, &context_,
                   [this, index, socket] { Lost(index, socket); });
  QObject::connect(socket, &QTcpSocket::errorOccurred, &context_,
                   [this, index, socket] { Lost(index, socket); });
}

void AttackerCrowd::Established(std::size_t index) {
  members_[index].established = true;
  ++counters_.opened;
  ConnectNextInTurn(index);
}

void AttackerCrowd::Send(std::size_t index) {
  QTcpSocket& socket = *members_[index].socket;
  Write(socket, script_.opening);
  if (Unsent(socket) < kLowWater) Write(socket, script_.refill);
}

void AttackerCrowd::Refill(std::size_t index, qint64 written) {
  counters_.sent += written;
  QTcpSocket& socket = *members_[index].socket;
  if (Unsent(socket) < kLowWater) Write(socket, script_.refill);
}

// Every socket says it is gone once (an error, a disconnection, or both): only the first counts.
void AttackerCrowd::Lost(std::size_t index, QTcpSocket* socket) {
  if (closing_ || members_[index].socket.get() != socket) return;
  const bool established = members_[index].established;
  ++(established ? counters_.cut : counters_.failed);
  socket->disconnect(&context_);
  members_[index].socket.release()->deleteLater();
  if (!established) ConnectNextInTurn(index);
  if (!settings_.reconnect_after) return;
  QTimer::singleShot(*settings_.reconnect_after, &context_, [this, index] { Connect(index); });
}

void AttackerCrowd::ConnectNextInTurn(std::size_t index) {
  if (one_by_one_ && index + 1 < members_.size() && !members_[index + 1].socket) {
    Connect(index + 1);
  }
}

}  // namespace tramolin::bench
