// The rules of `tramolin2 --status`: the status of every copy asked of the server running from
// this program folder, printed for a person or a monitoring tool, and an exit status a cron job
// can alert on. TechnicianConsole carries out the asking.
//
// tramolin2 --status [--json] [--max-backlog=ENTRIES] [--max-silence=MINUTES] [--port=PORT]
//                    [--key=KEY] [--timeout=SECONDS]
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/configuration.h"
#include "server/fleet_book.h"
#include "shell/technician_console_rules.h"
#include "util/command_line.h"

namespace tramolin {

inline constexpr std::string_view kStatusSwitch = "-status";

// Exit statuses besides the console's 0 (every copy within the limits), 1 (no status: the reason
// on the error stream) and 2 (a wrong command line).
inline constexpr int kStatusBeyondLimits = 3;

struct StatusLimits {
  std::optional<std::int64_t> backlog;  // entries
  std::optional<std::int64_t> silence;  // seconds
};

struct StatusRequest {
  ConsoleRequest console;  // the loopback address, the server's port, key and certificate
  bool json = false;
  StatusLimits limits;
};

bool AsksForStatus(const CommandLine& command_line);

// The request, with the connection from the file's [Server] settings: its port and access key
// (unless switches give others), and TLS pinned to its own certificate when it has one
// (`certificate_fingerprint` of the certificate file, nullopt when it cannot be read). nullopt
// with `error` (code page 1250) when the command line is wrong.
std::optional<StatusRequest> ParseStatusRequest(
    const CommandLine& command_line, const TConfig& config,
    const std::optional<std::string>& certificate_fingerprint, std::string& error);

// Which limits a copy has passed (an uncounted backlog passes none).
struct LimitsPassed {
  bool backlog = false;
  bool silence = false;
  bool Any() const { return backlog || silence; }
};
LimitsPassed PassedLimits(const CopyStatus& copy, const StatusLimits& limits);

// One line per copy (UTF-8), or a JSON document; and the exit status the copies give.
std::string StatusText(const std::vector<CopyStatus>& copies, const StatusLimits& limits);
std::string StatusJson(const std::vector<CopyStatus>& copies, const StatusLimits& limits);
int StatusExitStatus(const std::vector<CopyStatus>& copies, const StatusLimits& limits);

}  // namespace tramolin
