#include "shell/client_process.h"

#include "shell/activity_state.h"

namespace tramolin {

ClientProcess::ClientProcess(HostServices& host, QObject* parent) : QObject(parent), client_(host) {
  client_.SetHooks({[this](int from, int to) {
                      ChangeState(static_cast<ClientState>(from), static_cast<ClientState>(to));
                    },
                    [this](int interval_ms) {
                      if (hooks_.restart_idle_disconnect)
                        hooks_.restart_idle_disconnect(interval_ms);
                    },
                    [this](const std::string& address, int port) {
                      if (hooks_.save_alternative_address)
                        hooks_.save_alternative_address(address, port);
                    },
                    [this] { held_back_ = true; }, nullptr});
}

void ClientProcess::Configure(const ClientSettings& settings) {
  on_demand_ = settings.on_demand;
  client_.Configure(settings);
}

void ClientProcess::Start(const ClientCredentials& credentials) {
  client_.SetCredentials(credentials);
  client_.Arm();
}

void ClientProcess::ChangeState(ClientState from, ClientState to) {
  if (const std::optional<int> icon = ClientTrayIcon(to, on_demand_, held_back_)) {
    tray_icon_index_ = icon;
  }
  if (hooks_.state_changed) hooks_.state_changed(from, to);
}

}  // namespace tramolin
