#include "client/replication_client.h"

#include "client/client_state.h"
#include "net/restart_timer.h"
#include "util/cp1250.h"

namespace tramolin {
namespace {

constexpr int kReplicateIntervalMs = 50;
constexpr int kConnectIntervalMs = 250;
constexpr int kReplyTimeoutMs = 3'600'000;
constexpr int kAutoOnDemandIntervalMs = 50'000;
constexpr int kPublishAddressIntervalMs = 3'600'000;
constexpr int kTenMinutes = 600'000;
constexpr int kOneHour = 3'600'000;

}  // namespace

std::optional<int> ClientReplyTimeout(int state) {
  switch (state) {
    case kClientConnected:
    case kClientAuthorising:
      return kTenMinutes;
    case kClientWaiting:
    case kClientAwaitingConfirmation:
      return kOneHour;
    default:
      return std::nullopt;
  }
}

ReplicationClient::ReplicationClient(HostServices& host, QObject* parent)
    : QObject(parent), host_(host) {
  for (QTimer* timer :
       {&tmrKReplikuj, &tmrKConnect, &tmrKTimeOut, &tmrKAutoNaZadanie, &tmrSetDynDns}) {
    timer->setParent(this);
  }
  tmrKReplikuj.setInterval(kReplicateIntervalMs);
  tmrKConnect.setInterval(kConnectIntervalMs);
  tmrKTimeOut.setInterval(kReplyTimeoutMs);
  tmrKAutoNaZadanie.setInterval(kAutoOnDemandIntervalMs);
  tmrSetDynDns.setInterval(kPublishAddressIntervalMs);
}

void ReplicationClient::SetProgress(int slot, int percent) {
  if (slot == -1) progress_ = percent;
}

void ReplicationClient::SetErrorText(int slot, std::string_view text) {
  if (slot == -1) local_error_text_ = text;
}

std::string ReplicationClient::GetErrorText(int slot) const {
  return slot == -1 ? local_error_text_ : std::string();
}

// The client's own destination is the main database, which the clean-up knows without asking.
int ReplicationClient::GetSlotDBNR(int /*slot*/) const { return -1; }

int ReplicationClient::GetSlotLastTransID(int slot) const {
  return slot == -1 ? ClientTransactionId : -1;
}

void ReplicationClient::Arm(bool on_demand) {
  if (on_demand) {
    tmrKAutoNaZadanie.start();
  } else {
    RestartTimer(tmrKConnect, kConnectIntervalMs);
  }
}

void ReplicationClient::ApplyReplyTimeout(int state) {
  if (const std::optional<int> timeout = ClientReplyTimeout(state)) {
    RestartTimer(tmrKTimeOut, *timeout);
  } else {
    tmrKTimeOut.stop();
  }
}

void ReplicationClient::SyncSoon() { RestartTimer(tmrKReplikuj, kReplicateIntervalMs); }

// The connection to the server and its reconnection arrive with the connection lifecycle; until
// then there is nothing to drop.
void ReplicationClient::LetGoForDatabaseUpgrade() {
  host_.Log("Aktualizacja struktury bazy danych klienta replikacji", kLogProgress);
}

}  // namespace tramolin
