#include "client/replication_client.h"

#include <exception>
#include <string>

#include "client/address_service.h"
#include "client/client_state.h"
#include "client/server_link.h"
#include "client/sync_cycle.h"
#include "engine/replication_data.h"
#include "net/restart_timer.h"
#include "util/cp1250.h"

namespace tramolin {
namespace {

constexpr int kReplicateIntervalMs = 50;
constexpr int kConnectIntervalMs = 250;
constexpr int kReplyTimeoutMs = 3'600'000;
constexpr int kAutoOnDemandIntervalMs = 50'000;
constexpr int kIdleDisconnectMs = 780'000;

// The server's current address as the address service knows it.
class ServiceAddressLookup final : public ServerAddressLookup {
 public:
  ServiceAddressLookup(AddressService& service, ReplicationClient& client)
      : service_(service), client_(client) {}

  void LookUp(std::function<void(std::optional<LookedUpAddress>)> done) override {
    AddressServiceSettings settings;
    settings.server_url = client_.Settings().addresses.address_service;
    settings.customer_number = client_.Settings().customer_number;
    settings.copy_number = client_.Credentials().copy_number;
    service_.LookUpServerAddress(settings, [done](std::optional<ServerAddress> address) {
      if (!address) {
        done(std::nullopt);
        return;
      }
      done(LookedUpAddress{address->host, address->port});
    });
  }

 private:
  AddressService& service_;
  ReplicationClient& client_;
};

}  // namespace

ReplicationClient::ReplicationClient(HostServices& host, QObject* parent)
    : QObject(parent),
      host_(host),
      address_service_(std::make_unique<AddressService>(host)),
      service_lookup_(std::make_unique<ServiceAddressLookup>(*address_service_, *this)),
      lookup_(service_lookup_.get()),
      link_(std::make_unique<ServerLink>(*this)),
      cycle_(std::make_unique<SyncCycle>(*this)) {
  for (QTimer* timer : {&tmrKReplikuj, &tmrKConnect, &tmrKTimeOut, &tmrKAutoNaZadanie}) {
    timer->setParent(this);
  }
  tmrKReplikuj.setInterval(kReplicateIntervalMs);
  tmrKConnect.setInterval(kConnectIntervalMs);
  tmrKTimeOut.setInterval(kReplyTimeoutMs);
  tmrKAutoNaZadanie.setInterval(kAutoOnDemandIntervalMs);
  connect(&tmrKConnect, &QTimer::timeout, link_.get(), &ServerLink::tmrKConnectTimer);
  connect(&tmrKTimeOut, &QTimer::timeout, link_.get(), &ServerLink::tmrKTimeOutTimer);
  connect(&tmrKReplikuj, &QTimer::timeout, this, [this] { cycle_->tmrKReplikujTimer(); });
  connect(&tmrKAutoNaZadanie, &QTimer::timeout, this, [this] { tmrKAutoNaZadanieTimer(); });
}

// The timers go first: none of them may fire into a half-destroyed client. The worker goes before
// its pool.
ReplicationClient::~ReplicationClient() {
  for (QTimer* timer : {&tmrKReplikuj, &tmrKConnect, &tmrKTimeOut, &tmrKAutoNaZadanie}) {
    timer->stop();
    timer->disconnect();
  }
  worker_.reset();
}

// One job at a time: the client's work is one cycle's, in order.
void ReplicationClient::AttachDatabase(ReplicationData* data) {
  data_ = data;
  worker_.reset();
  workers_.reset();
}

EngineWorker* ReplicationClient::Worker() {
  if (worker_ == nullptr && data_ != nullptr) {
    workers_ = std::make_unique<WorkerPool>(host_, WorkerDatabaseLike(*data_), 1);
    worker_ = std::make_unique<EngineWorker>(*workers_);
  }
  return worker_.get();
}

void ReplicationClient::DisconnectDatabase(bool force) {
  RunJob<bool>(
      [force](ReplicationData& data) {
        data.DisconnectDatabase(force);
        return true;
      },
      [](bool) {}, false);
}

void ReplicationClient::KeepEventsSubscribed() {
  if (data_ != nullptr && host_.EventsEnabled() && !data_->Connected()) data_->ConnectDatabase();
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

void ReplicationClient::Arm() {
  if (settings_.on_demand) {
    tmrKAutoNaZadanie.start();
  } else {
    RestartTimer(tmrKConnect, kConnectIntervalMs);
  }
}

void ReplicationClient::tmrKAutoNaZadanieTimer() {
  if (host_.ServerMode() || host_.Closing()) return;
  try {
    const std::string& configured = settings_.auto_start_time;
    if (!AutoStartDue(host_.Now(), configured)) return;
    host_.Log("Automatyczne (o "_cp + configured + ") rozpoczynanie procesu synchronizacji ..."_cp,
              kLogProgress);
    if (settings_.on_demand && activity_state_ == kClientDisconnected) link_->tmrKConnectTimer();
  } catch (const std::exception&) {
    // the next tick tries again
  }
}

void ReplicationClient::SetActivityState(int state) {
  const int from = activity_state_;
  activity_state_ = state;
  if (const std::optional<int> timeout = ClientReplyTimeout(state)) {
    RestartTimer(tmrKTimeOut, *timeout);
  } else {
    tmrKTimeOut.stop();
  }
  if (hooks_.state_changed) hooks_.state_changed(from, state);
}

void ReplicationClient::SyncSoon() { RestartTimer(tmrKReplikuj, kReplicateIntervalMs); }

void ReplicationClient::LetGoForDatabaseUpgrade() {
  host_.Log("Aktualizacja struktury bazy danych klienta replikacji"_cp, kLogProgress);
  link_->ScheduleReconnect(false);
}

void ReplicationClient::Reconnect() { link_->ScheduleReconnect(true); }

bool ReplicationClient::SendTechnicianCommand(std::string_view payload) {
  if (!settings_.technician || activity_state_ != kClientLoggedIn) return false;
  if (link_->SendPacket(pkPolecenie, payload)) return true;
  host_.Log("Wystąpił problem: \"nie można wysłać polecenia do serwera\""_cp, kLogProgress);
  return false;
}

void ReplicationClient::PacketArrived(std::uint8_t type, const std::string& payload) {
  if (hooks_.packet_arrived) hooks_.packet_arrived(type, payload);
  cycle_->PacketArrived(type, payload);
}

void ReplicationClient::RestartIdleDisconnect() {
  if (hooks_.restart_idle_disconnect) hooks_.restart_idle_disconnect(kIdleDisconnectMs);
}

void ReplicationClient::SaveAlternativeAddress(const std::string& host, int port) {
  settings_.addresses.host2 = host;
  settings_.addresses.port2 = port;
  if (hooks_.save_alternative_address) hooks_.save_alternative_address(host, port);
}

void ReplicationClient::HoldBack() {
  if (hooks_.hold_back) hooks_.hold_back();
}

}  // namespace tramolin
