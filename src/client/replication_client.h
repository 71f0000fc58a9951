// The replication client: the client mode's timers, settings and own slot (-1), the connection to
// the server (ServerLink) and the synchronisation cycle over it (SyncCycle). The cycle's database
// work runs on a worker of the client's own, one job after another, so that the window and the
// answers to the server never wait for the database; the engine reports the client's progress
// and errors into slot -1 of the SlotBook implemented here.
//
// Every handler runs on the main thread; the timers and their handlers are public so that tests
// drive them without waiting.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "client/client_rules.h"
#include "engine/host_services.h"
#include "engine/slot_book.h"
#include "net/keep_alive.h"
#include "worker/engine_worker.h"
#include "worker/worker_pool.h"

namespace tramolin {

class AddressService;
class ReplicationData;
class ServerAddressLookup;
class ServerLink;
class SyncCycle;

struct ClientSettings {
  ServerAddresses addresses;
  int interval_minutes = 1;  // Interwal
  bool send_new_data_first = false;
  bool on_demand = false;       // no reconnection; cycles start by hand or at a set hour
  bool technician = false;      // no database, no cycles: commands only
  std::string auto_start_time;  // AutoNaZadanie, "hh:nn"
  std::string access_key;       // sent with the authentication; empty for none
  std::string customer_number;  // the installation's number at the address service
  bool tls = false;             // TLS only, never plain TCP
  std::string tls_fingerprint;  // SHA-256 of the server's certificate; empty: a trusted authority
  KeepAlive keep_alive{};
};

// What the client needs of the program around it. Every hook may be left out.
struct ClientHooks {
  // The client's activity state went from one state to another (or was set again).
  std::function<void(int from, int to)> state_changed;
  // The idle database disconnect timer restarted with this interval.
  std::function<void(int interval_ms)> restart_idle_disconnect;
  // A looked-up address that connected becomes the alternative address in the configuration.
  std::function<void(const std::string& host, int port)> save_alternative_address;
  // An import stopped at a record a local user holds (HeldBackFlag).
  std::function<void()> hold_back;
  // A complete packet from the server, before the client acts on it.
  std::function<void(std::uint8_t type, std::string_view payload)> packet_arrived;
};

class ReplicationClient : public QObject, public SlotBook {
  Q_OBJECT

 public:
  explicit ReplicationClient(HostServices& host, QObject* parent = nullptr);
  ~ReplicationClient() override;

  // Wiring; pointers are not owned and must outlive the client.
  // The connection of the start of work (its events; the copy of its catalogues the worker's
  // connection exports with).
  void AttachDatabase(ReplicationData* data);
  void SetHooks(ClientHooks hooks) { hooks_ = std::move(hooks); }
  void Configure(const ClientSettings& settings) { settings_ = settings; }
  // Who this client is; the database version is refreshed whenever the server accepts.
  void SetCredentials(const ClientCredentials& credentials) { credentials_ = credentials; }
  // Where a looked-up address comes from: the address service unless a test sets another.
  void SetAddressLookup(ServerAddressLookup* lookup) { lookup_ = lookup; }

  // SlotBook: only slot -1, the client's own, holds anything.
  void SetProgress(int slot, int percent) override;
  void SetErrorText(int slot, std::string_view text) override;
  std::string GetErrorText(int slot) const override;
  int GetSlotDBNR(int slot) const override;
  int GetSlotLastTransID(int slot) const override;

  // The start of work: the first connection attempt 250 ms later, or in on-demand mode the
  // automatic start's clock.
  void Arm();
  // A synchronisation step as soon as the event loop is free.
  void SyncSoon();
  // The local database's structure is about to be upgraded: the connection to the server goes.
  void LetGoForDatabaseUpgrade();
  // "Rozłącz / połącz": drop the connection and try again 250 ms later.
  void Reconnect();
  // A technician's command (payload as the command list builds it); false when not sent.
  bool SendTechnicianCommand(std::string_view payload);
  // A complete packet from the server: the program around hears of it, then the cycle acts.
  void PacketArrived(std::uint8_t type, const std::string& payload);

  // Runs database work on the client's worker after the work posted before it. `done` gets the
  // result on the event loop; the error text the work left becomes the client's. Without a
  // database the work is not run and `done` gets `unavailable`.
  template <typename Result>
  void RunJob(std::function<Result(ReplicationData&)> work, std::function<void(Result)> done,
              Result unavailable) {
    EngineWorker* worker = Worker();
    if (worker == nullptr) {
      done(std::move(unavailable));
      return;
    }
    worker->Run<Result>(
        {-1, -1, ClientTransactionId},
        [work = std::move(work)](ReplicationData& data, HostServices&) { return work(data); },
        [this, done = std::move(done)](Result result, JobReport report) {
          if (report.error_text) local_error_text_ = *report.error_text;
          done(std::move(result));
        },
        [this](int percent) { progress_ = percent; });
  }
  // Closes the worker's connection too (the idle and the forced disconnection).
  void DisconnectDatabase(bool force);
  // With the Events option, the connection of the start of work is connected again when an idle
  // disconnection closed it, so that the database's events reach the client.
  void KeepEventsSubscribed();

  ServerLink& Link() { return *link_; }
  const ServerLink& Link() const { return *link_; }
  SyncCycle& Cycle() { return *cycle_; }

  // What the pieces share.
  HostServices& Host() { return host_; }
  ReplicationData* Data() { return data_; }
  const ClientSettings& Settings() const { return settings_; }
  ClientCredentials& Credentials() { return credentials_; }
  ServerAddressLookup* AddressLookup() { return lookup_; }
  // States that wait for the server arm the reply time-out, any other state disarms it; then the
  // program around hears of the change.
  void SetActivityState(int state);
  int ActivityState() const { return activity_state_; }
  void RestartIdleDisconnect();
  void SaveAlternativeAddress(const std::string& host, int port);
  void HoldBack();

  // Progress of the current export or import, 0-100 (the main gauge).
  int Progress() const { return progress_; }
  // The marker of the client's last exported batch, kept until the server confirms it.
  int ClientTransactionId = -1;

  QTimer tmrKReplikuj;       // start of a synchronisation step
  QTimer tmrKConnect;        // connection attempt
  QTimer tmrKTimeOut;        // reply time-out, armed by the activity state
  QTimer tmrKAutoNaZadanie;  // automatic start at a configured hour

 private:
  // The on-demand client's start at the configured hour.
  void tmrKAutoNaZadanieTimer();
  // The worker, made when the first job comes: by then the start of work has read what its
  // connection copies (the password, the catalogues). Null without a database.
  EngineWorker* Worker();

  HostServices& host_;
  ReplicationData* data_ = nullptr;
  std::unique_ptr<WorkerPool> workers_;
  std::unique_ptr<EngineWorker> worker_;
  std::unique_ptr<AddressService> address_service_;
  std::unique_ptr<ServerAddressLookup> service_lookup_;
  ServerAddressLookup* lookup_ = nullptr;
  ClientHooks hooks_;
  ClientSettings settings_;
  ClientCredentials credentials_;
  std::unique_ptr<ServerLink> link_;
  std::unique_ptr<SyncCycle> cycle_;
  std::string local_error_text_;
  int activity_state_ = 0;
  int progress_ = 0;
};

}  // namespace tramolin
