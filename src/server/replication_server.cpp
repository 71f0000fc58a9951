#include "server/replication_server.h"

#include <array>

#include "net/packet_connection.h"
#include "net/restart_timer.h"
#include "protocol/frame.h"
#include "protocol/packet_types.h"
#include "util/cp1250.h"

namespace tramolin {
namespace {

constexpr int kZombieSweepIntervalMs = 900'000;

constexpr std::array<std::string_view, 7> kSlotStatusNames = {
    "połączony"_cp,      "autoryzowanie"_cp, "zalogowany"_cp,    "czeka na dane"_cp,
    "przygotowywuje"_cp, "przetwarza"_cp,    "czeka na potw."_cp};

}  // namespace

std::string_view SlotStatusName(int status) {
  if (status < 0 || static_cast<std::size_t>(status) >= kSlotStatusNames.size()) return {};
  return kSlotStatusNames[static_cast<std::size_t>(status)];
}

ReplicationServer::ReplicationServer(HostServices& host, QObject* parent)
    : QObject(parent), host_(host) {
  tmrZombie.setParent(this);
  connect(&tmrZombie, &QTimer::timeout, this, &ReplicationServer::tmrZombieTimer);
  RestartTimer(tmrZombie, kZombieSweepIntervalMs);
}

TKlientInfo* ReplicationServer::Slot(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= Clients.size()) return nullptr;
  return &Clients[static_cast<std::size_t>(index)];
}

const TKlientInfo* ReplicationServer::Slot(int index) const {
  return const_cast<ReplicationServer*>(this)->Slot(index);
}

void ReplicationServer::SetProgress(int slot, int percent) {
  if (TKlientInfo* client = Slot(slot)) client->Postep = percent;
}

void ReplicationServer::SetErrorText(int slot, std::string_view text) {
  if (slot < 0) {
    local_error_text_ = text;
  } else if (TKlientInfo* client = Slot(slot)) {
    client->LastErrorMsg = text;
  }
}

std::string ReplicationServer::GetErrorText(int slot) const {
  if (slot < 0) return local_error_text_;
  const TKlientInfo* client = Slot(slot);
  return client != nullptr ? client->LastErrorMsg : std::string();
}

int ReplicationServer::GetSlotDBNR(int slot) const {
  const TKlientInfo* client = Slot(slot);
  return client != nullptr ? client->DBNR : -1;
}

int ReplicationServer::GetSlotLastTransID(int slot) const {
  const TKlientInfo* client = Slot(slot);
  return client != nullptr ? client->LastTransID : -1;
}

void ReplicationServer::AnnounceDatabaseUpgrade() {
  host_.Log("Aktualizacja struktury głównej bazy danych. Rozłączanie wszystkich klientów."_cp,
            kLogProgress);
  const std::string frame = BuildPacket(pkAktualizacja, "", host_.Closing());
  for (const TKlientInfo& client : Clients) {
    if (client.Socket != nullptr) client.Socket->SendFrame(frame);
  }
}

// Slots without connections have nothing to sweep; the sweep arrives with the listening socket.
void ReplicationServer::tmrZombieTimer() {}

}  // namespace tramolin
