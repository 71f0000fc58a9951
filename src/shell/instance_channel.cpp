#include "shell/instance_channel.h"

#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QVariant>

namespace tramolin {
namespace {

constexpr int kConnectTimeoutMs = 1000;
constexpr int kGreetingTimeoutMs = 1000;
constexpr int kWriteTimeoutMs = 1000;
constexpr char kHostHandleProperty[] = "hostHandle";

QByteArray GreetingLine(const QString& caption) {
  return "HELLO " + QByteArray::number(QCoreApplication::applicationPid()) + " " +
         caption.toUtf8() + "\n";
}

std::optional<RunningCopyInfo> ParseGreeting(const QByteArray& line) {
  const QByteArray trimmed = line.trimmed();
  if (!trimmed.startsWith("HELLO ")) return std::nullopt;
  const int pid_end = trimmed.indexOf(' ', 6);
  bool ok = false;
  RunningCopyInfo info;
  info.pid = trimmed.mid(6, pid_end < 0 ? -1 : pid_end - 6).toLongLong(&ok);
  if (!ok) return std::nullopt;
  info.caption = pid_end < 0 ? QString() : QString::fromUtf8(trimmed.mid(pid_end + 1));
  return info;
}

}  // namespace

std::optional<WindowMessage> ParseMessageLine(const QByteArray& line) {
  const QList<QByteArray> parts = line.trimmed().split(' ');
  if (parts.size() != 4 || parts[0] != "MSG") return std::nullopt;
  bool ok_number = false;
  bool ok_wparam = false;
  bool ok_lparam = false;
  WindowMessage message{parts[1].toInt(&ok_number), parts[2].toLongLong(&ok_wparam),
                        parts[3].toLongLong(&ok_lparam)};
  if (!ok_number || !ok_wparam || !ok_lparam) return std::nullopt;
  return message;
}

QByteArray MessageLine(const WindowMessage& message) {
  return "MSG " + QByteArray::number(message.number) + " " + QByteArray::number(message.wparam) +
         " " + QByteArray::number(message.lparam) + "\n";
}

InstanceChannel::InstanceChannel(QString name, QObject* parent)
    : QObject(parent), name_(std::move(name)), server_(new QLocalServer(this)) {
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, &InstanceChannel::AcceptConnections);
}

InstanceChannel::~InstanceChannel() { server_->close(); }

bool InstanceChannel::Listen() {
  if (server_->listen(name_)) return true;
  if (server_->serverError() != QAbstractSocket::AddressInUseError) return false;
  QLocalSocket probe;
  probe.connectToServer(name_);
  if (probe.waitForConnected(kConnectTimeoutMs)) return false;  // a live copy owns the name
  QLocalServer::removeServer(name_);
  return server_->listen(name_);
}

void InstanceChannel::PostToHostWindow(long long handle, const WindowMessage& message) {
  for (QLocalSocket* peer : peers_) {
    if (peer->property(kHostHandleProperty).toLongLong() == handle) {
      peer->write(MessageLine(message));
      peer->flush();
    }
  }
}

void InstanceChannel::AcceptConnections() {
  while (QLocalSocket* peer = server_->nextPendingConnection()) {
    peers_.append(peer);
    connect(peer, &QLocalSocket::readyRead, this, [this, peer] { ReadPeer(peer); });
    connect(peer, &QLocalSocket::disconnected, this, [this, peer] {
      peers_.removeOne(peer);
      peer->deleteLater();
    });
    peer->write(GreetingLine(caption_));
  }
}

void InstanceChannel::ReadPeer(QLocalSocket* peer) {
  while (peer->canReadLine()) {
    const std::optional<WindowMessage> message = ParseMessageLine(peer->readLine());
    if (!message) continue;
    if (message->number == kMsgHostWindow && message->wparam != 0) {
      peer->setProperty(kHostHandleProperty, message->wparam);
    }
    emit messageReceived(*message);
  }
}

bool PostToRunningCopy(const QString& name, long long expected_pid, const QString& expected_caption,
                       const std::vector<WindowMessage>& messages) {
  QLocalSocket socket;
  socket.connectToServer(name);
  if (!socket.waitForConnected(kConnectTimeoutMs)) return false;
  while (!socket.canReadLine()) {
    if (!socket.waitForReadyRead(kGreetingTimeoutMs)) return false;
  }
  const std::optional<RunningCopyInfo> info = ParseGreeting(socket.readLine());
  if (!info || info->pid != expected_pid || info->caption != expected_caption) return false;
  for (const WindowMessage& message : messages) socket.write(MessageLine(message));
  if (!socket.waitForBytesWritten(kWriteTimeoutMs)) return false;
  socket.disconnectFromServer();
  return true;
}

}  // namespace tramolin
