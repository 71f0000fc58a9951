#include "server/client_session.h"

#include "net/packet_connection.h"
#include "protocol/frame.h"
#include "server/pre_login_gate.h"

namespace tramolin {

ClientSession::ClientSession(PacketConnection* connection, PeerInfo peer, double now,
                             QObject* parent)
    : QObject(parent), connection_(connection), peer_(std::move(peer)) {
  if (connection_ != nullptr) connection_->setParent(this);
  slot_.CzasStart = now;
  slot_.OstAktyw = now;
}

ClientSession::~ClientSession() = default;

std::string ClientSession::PeerHostAndAddress() const {
  return peer_.host.toStdString() + "/" + peer_.address.toStdString();
}

std::string ClientSession::PeerText() const {
  return PeerHostAndAddress() + ":" + std::to_string(peer_.port);
}

bool ClientSession::Send(PacketType type, std::string_view payload, bool closing) {
  return SendFrame(BuildPacket(type, payload, closing));
}

bool ClientSession::SendFrame(std::string_view frame) {
  if (connection_ == nullptr || frame.empty()) return false;
  if (!connection_->SendFrame(frame)) return false;
  slot_.Wyslano += static_cast<std::int64_t>(frame.size());
  return true;
}

std::int64_t ClientSession::TakeReceivedBytes() {
  if (connection_ == nullptr) return 0;
  const std::uint64_t received = connection_->Counters().Odebrano;
  const auto fresh = static_cast<std::int64_t>(received - counted_received_);
  counted_received_ = received;
  return fresh;
}

bool ClientSession::CountPacketBeforeLogin() {
  ++packets_before_login_;
  if (packets_before_login_ > PreLoginGate::kPacketsBeforeLogin) return false;
  return connection_ == nullptr ||
         connection_->Counters().Odebrano <= PreLoginGate::kBytesBeforeLogin;
}

EngineWorker& ClientSession::Worker(WorkerPool& pool) {
  if (worker_ == nullptr) worker_ = std::make_unique<EngineWorker>(pool);
  return *worker_;
}

void ClientSession::AdoptWorker(ClientSession& earlier) {
  if (earlier.worker_ != nullptr) worker_ = std::move(earlier.worker_);
}

void ClientSession::BeginJob() {
  if (jobs_++ == 0 && connection_ != nullptr) connection_->HoldIncoming();
}

void ClientSession::EndJob() {
  if (--jobs_ == 0 && connection_ != nullptr) connection_->ReleaseIncoming();
}

}  // namespace tramolin
