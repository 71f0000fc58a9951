// The client's activity states, their names and the reply time-out each of them arms.
#pragma once

#include <optional>
#include <string_view>

namespace tramolin {

enum ClientState : int {
  kClientDisconnected = 0,
  kClientConnecting = 1,
  kClientConnected = 2,
  kClientAuthorising = 3,
  kClientLoggedIn = 4,  // logged in and idle
  kClientWaiting = 5,
  kClientProcessing = 6,
  kClientChecking = 7,
  kClientPreparing = 8,
  kClientAwaitingConfirmation = 9,
  kClientUnmarking = 10,
};

// The name shown and logged for a state ("rozłączony", ...); empty for a state without one.
std::string_view ClientStateName(int state);

// What a client state does to the reply time-out timer: restart with this interval, or stop it.
std::optional<int> ClientReplyTimeout(int state);

}  // namespace tramolin
