// The server side of the program: the replication server, the technicians' commands it carries
// out, the hourly publishing of its address, and its activity state. The main data module opens
// it in server mode with settings read once from the configuration.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

#include "client/address_service.h"
#include "server/replication_server.h"
#include "server/server_reports.h"
#include "server/server_state.h"
#include "server/technician_commands.h"
#include "shell/server_technician_port.h"
#include "worker/worker_pool.h"

namespace tramolin {

class Logger;

// What server mode is opened with.
struct ServerOpening {
  ServerSettings settings;
  ServerIdentity identity;
  quint16 port = 0;
  AddressServiceSettings publishing;
};

// What the program around the server hears from it. Every hook may be left out.
struct ServerProcessHooks {
  std::function<void(ServerState from, ServerState to)> state_changed;
  // The idle database disconnect timer: stopped while slots exist, restarted when none is left.
  std::function<void()> stop_idle_disconnect;
  std::function<void(int interval_ms)> restart_idle_disconnect;
};

class ServerProcess : public QObject {
  Q_OBJECT

 public:
  // References must outlive the process; `report_values` gives the program's values for the
  // server report.
  ServerProcess(HostServices& host, Logger& logs, std::function<ServerReportValues()> report_values,
                QObject* parent = nullptr);

  void SetHooks(ServerProcessHooks hooks) { hooks_ = std::move(hooks); }
  ReplicationServer& Room() { return server_; }
  const ReplicationServer& Room() const { return server_; }
  ServerState State() const { return state_; }

  // Listens (a port that cannot be listened on is logged) with every session's database work
  // on workers made like `database`, and publishes the address now and every hour.
  void Open(const ServerOpening& opening, WorkerDatabase database);

 private:
  void ChangeState(int state);
  void PublishAddress();

  HostServices& host_;
  ReplicationServer server_;
  ServerTechnicianPort technician_port_;
  TechnicianCommands technician_commands_;
  AddressService address_service_;
  AddressServiceSettings publishing_;
  QTimer tmrSetDynDns;
  ServerState state_ = kServerStarting;
  ServerProcessHooks hooks_;
};

}  // namespace tramolin
