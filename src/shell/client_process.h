// The client side of the program: the replication client and what its state shows outside it,
// the tray icon (blue once after records were held back by a user's lock). The main data module
// starts it in client mode with settings read once from the configuration.
#pragma once

#include <QObject>
#include <functional>
#include <optional>
#include <string>

#include "client/client_state.h"
#include "client/replication_client.h"

namespace tramolin {

// What the program around the client hears from it. Every hook may be left out.
struct ClientProcessHooks {
  std::function<void(ClientState from, ClientState to)> state_changed;
  std::function<void(int interval_ms)> restart_idle_disconnect;
  std::function<void(const std::string& host, int port)> save_alternative_address;
};

class ClientProcess : public QObject {
  Q_OBJECT

 public:
  // `host` must outlive the process.
  explicit ClientProcess(HostServices& host, QObject* parent = nullptr);

  void SetHooks(ClientProcessHooks hooks) { hooks_ = std::move(hooks); }
  ReplicationClient& Room() { return client_; }
  const ReplicationClient& Room() const { return client_; }
  ClientState State() const { return static_cast<ClientState>(client_.ActivityState()); }
  std::optional<int> TrayIconIndex() const { return tray_icon_index_; }
  bool HeldBack() const { return held_back_; }

  void Configure(const ClientSettings& settings);
  // Who the client is once the start of work has read its database; the client then connects
  // (or waits for a start by hand).
  void Start(const ClientCredentials& credentials);

 private:
  void ChangeState(ClientState from, ClientState to);

  ReplicationClient client_;
  bool on_demand_ = false;
  bool held_back_ = false;
  std::optional<int> tray_icon_index_;
  ClientProcessHooks hooks_;
};

}  // namespace tramolin
