// TCP keepalive of a replication connection: a link that dies silently (a NAT that forgets the
// connection, a far end without power or network) is noticed within about two minutes and ends
// as a disconnection, instead of leaving both ends waiting for their hour-long time-outs.
#pragma once

#include <optional>
#include <string_view>

namespace tramolin {

struct KeepAlive {
  int idle_s = 60;      // silence before the first probe
  int interval_s = 10;  // between unanswered probes
  int probes = 5;       // unanswered probes that end the connection

  // The longest a dead link goes unnoticed, also while data waits for its acknowledgement.
  int BoundMs() const { return (idle_s + interval_s * probes) * 1000; }
  friend bool operator==(const KeepAlive&, const KeepAlive&) = default;
};

// "idle,interval,probes" in seconds, each at least 1; nullopt for anything else.
std::optional<KeepAlive> ParseKeepAlive(std::string_view text);

// Switches keepalive on for a connected TCP socket with these timings, and bounds the time
// unacknowledged data may wait by the same figure. False when the system refused an option.
bool ApplyKeepAlive(long long descriptor, const KeepAlive& settings);

// The timings a socket carries now; nullopt when keepalive is off or cannot be read.
std::optional<KeepAlive> ReadKeepAlive(long long descriptor);

}  // namespace tramolin
