// The technician's console on a terminal: one command to a replication server and its answer on
// standard output, with no window, no database and no single-copy rule.
//
// It connects as the window's console does, through the client in technician mode (its
// connection, TLS pinning, access key and authentication), and is that client's host: what the
// client logs is kept only to explain a failure.
//
// When the answer is complete: the server takes one connection's packets in order and answers a
// command with at most one reply (a report of many lines is one packet). So
//  - a command with a reply is done with the first reply after it; a connection gets no log lines
//    of the server before it asks for them;
//  - a command without a reply (a message, saving the logs, removing a client) is followed by an
//    activity request, whose answer the server sends once the command has been carried out;
//  - "Włącz nasłuch" is answered, and then the server's log lines follow until SIGINT or SIGTERM.
// The time allowed bounds everything before the answer (or the listening) begins: connecting,
// logging in and the answer together. There is no waiting for more after the answer.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

#include "client/replication_client.h"
#include "engine/host_services.h"
#include "shell/technician_console_rules.h"

namespace tramolin {

// Prints the answer to a command that has one and gives the exit status of the run.
using AnswerPrinter = std::function<int(std::string_view answer)>;

class TechnicianConsole : public QObject, public HostServices {
  Q_OBJECT

 public:
  // The streams must outlive the console. Without a printer the answer goes to `out` as it came.
  TechnicianConsole(ConsoleRequest request, const ClientSettings& settings,
                    const ClientCredentials& credentials, std::ostream& out, std::ostream& err,
                    AnswerPrinter print_answer = {}, QObject* parent = nullptr);

  // Connects; the rest follows on the event loop.
  void Start();
  // SIGINT or SIGTERM: the end of the listening, or of the wait for the answer.
  void Interrupt();

  // HostServices of the client.
  void Log(std::string_view message, int level, bool continue_line = false) override;
  bool Closing() const override { return phase_ == Phase::kFinished; }
  bool ServerMode() const override { return false; }
  int LocalCopyNumber() const override { return -1; }
  bool EventsEnabled() const override { return false; }
  bool FullLog() const override { return false; }
  double Now() const override;

 signals:
  // Once, with the exit status of the process.
  void finished(int exit_status);

 private:
  enum class Phase { kLoggingIn, kAwaitingAnswer, kListening, kFinished };

  void StateChanged(int from, int to);
  void PacketArrived(std::uint8_t type, std::string_view payload);
  void SendCommand();
  void ServerText(std::string_view payload);
  // Prints the failure, if it is one, drops the connection and tells the exit status.
  void Finish(ConsoleOutcome outcome, std::string_view detail = {});
  std::string ServerAddress() const;

  ConsoleRequest request_;
  std::ostream& out_;
  std::ostream& err_;
  AnswerPrinter print_answer_;
  Phase phase_ = Phase::kLoggingIn;
  int answer_status_ = 0;
  std::string refusal_;     // why the server refused the connection or the login
  std::string last_error_;  // the last error the client logged
  QTimer deadline_;
  ReplicationClient client_;  // last: it reports into the members above
};

// The console's process: reads the command line and the client settings of the program folder's
// configuration file, runs the console on a QCoreApplication and returns the exit status.
int RunTechnicianConsole(int argc, char** argv, const std::filesystem::path& app_dir);

// `tramolin2 --status`: the same, asking the server of the program folder for the status of its
// copies (shell/fleet_status_rules.h).
int RunFleetStatus(int argc, char** argv, const std::filesystem::path& app_dir);

}  // namespace tramolin
