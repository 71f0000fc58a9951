#include "shell/server_process.h"

#include "shell/logger.h"
#include "util/cp1250.h"
#include "util/log_level.h"

namespace tramolin {
namespace {

constexpr int kPublishAddressIntervalMs = 3'600'000;

}  // namespace

ServerProcess::ServerProcess(HostServices& host, Logger& logs,
                             std::function<ServerReportValues()> report_values, QObject* parent)
    : QObject(parent),
      host_(host),
      server_(host),
      technician_port_(server_, logs, std::move(report_values)),
      technician_commands_(host, technician_port_),
      address_service_(host) {
  server_.SetHooks({[this](int state) { ChangeState(state); },
                    [this] {
                      if (hooks_.stop_idle_disconnect) hooks_.stop_idle_disconnect();
                    },
                    [this](int interval_ms) {
                      if (hooks_.restart_idle_disconnect)
                        hooks_.restart_idle_disconnect(interval_ms);
                    }});
  server_.SetTechnicianSink(&technician_commands_);
  tmrSetDynDns.setParent(this);
  tmrSetDynDns.setInterval(kPublishAddressIntervalMs);
  connect(&tmrSetDynDns, &QTimer::timeout, this, &ServerProcess::PublishAddress);
}

void ServerProcess::ChangeState(int state) {
  const ServerState from = state_;
  state_ = static_cast<ServerState>(state);
  if (hooks_.state_changed) hooks_.state_changed(from, state_);
}

void ServerProcess::Open(const ServerOpening& opening, WorkerDatabase database) {
  server_.Configure(opening.settings);
  server_.SetWorkerDatabase(std::move(database));
  server_.SetIdentity(opening.identity);
  if (!server_.Listen(opening.port)) {
    host_.Log("Nie można nasłuchiwać na porcie "_cp + std::to_string(opening.port), kLogError);
  }
  publishing_ = opening.publishing;
  PublishAddress();
  tmrSetDynDns.start();
}

void ServerProcess::PublishAddress() { address_service_.PublishServerAddress(publishing_); }

}  // namespace tramolin
