// The rules of the technician's console on a terminal: what its command line asks for, the client
// it connects as, when a command's answer is complete, and how the run ends. TechnicianConsole
// carries them out.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "client/client_rules.h"
#include "client/replication_client.h"
#include "config/configuration.h"
#include "util/command_line.h"

namespace tramolin {

// tramolin2 --technician HOST:PORT COMMAND [ARGUMENT] [--key=KEY] [--tls=0|1]
//           [--fingerprint=SHA256] [--timeout=SECONDS]
// Every parameter that is not one of these switches is, in order, the server's address, the
// command's number in the technician's command list and its argument.
inline constexpr std::string_view kConsoleSwitch = "-technician";
inline constexpr int kDefaultConsoleTimeoutMs = 30'000;

struct ConsoleRequest {
  std::string host;  // an IPv6 address without its brackets
  int port = 0;
  int command = -1;
  std::string argument;                    // code page 1250; empty when none
  std::optional<std::string> access_key;   // instead of [Klient] AccessKey
  std::optional<bool> tls;                 // instead of [Klient] Tls
  std::optional<std::string> fingerprint;  // TLS trusting exactly this certificate
  int timeout_ms = kDefaultConsoleTimeoutMs;
};

bool AsksForConsole(const CommandLine& command_line);

// The text as a whole number from `lowest` to `highest`; nullopt for anything else.
std::optional<int> NumberIn(std::string_view text, int lowest, int highest);
// --key, --tls, --fingerprint and --timeout into the request: "" when they are right, else what
// is wrong (code page 1250).
std::string ReadConnectionSwitches(const CommandLine& command_line, ConsoleRequest& request);

// The request, or nullopt with `error` (code page 1250) saying what is wrong and how it is used.
std::optional<ConsoleRequest> ParseConsoleRequest(const CommandLine& command_line,
                                                  std::string& error);

// What a server sends for a command, and so when the console has the whole answer.
enum class ConsoleAnswer {
  kReply,          // one reply (a report of several lines is one packet)
  kReplyThenLog,   // the reply, then the server's log lines until the console is stopped
  kAfterActivity,  // nothing: the answer to an activity request sent after it tells it was done
};
ConsoleAnswer AnswerOf(int command);

enum class ConsoleOutcome {
  kAnswered,
  kListened,  // log lines printed until the console was stopped
  kWrongUsage,
  kCannotConnect,
  kRefused,
  kDisconnected,
  kTimedOut,
  kInterrupted,  // stopped before the answer
};

// How a connection that ended before the answer ended: in `from_state` (a ClientState), with
// `refused` when the server had refused the connection or the login.
ConsoleOutcome OutcomeOfDrop(int from_state, bool refused);

// 0 for the answer or the listening stopped, 2 for a wrong command line, 1 for the rest.
int ConsoleExitStatus(ConsoleOutcome outcome);

// The line (code page 1250) a failure is reported with; `detail` is the refusal's text, the
// client's last error or the time allowed. Empty for the outcomes that are no failure.
std::string ConsoleFailureText(ConsoleOutcome outcome, std::string_view server,
                               std::string_view detail);

// The client of the window's technician console, at the request's address only (no lookup, no
// alternative, no reconnection), with the request's key and TLS settings over the file's.
ClientSettings ConsoleClientSettings(const TConfig& config, const ConsoleRequest& request);
ClientCredentials ConsoleCredentials(const TConfig& config, const ConsoleRequest& request,
                                     const std::string& program_version);

// A text the server sent, for the terminal: UTF-8, lines ending in "\n" (the last one too), and
// control characters blanked so that a peer cannot steer the terminal.
std::string TerminalText(std::string_view text);

}  // namespace tramolin
