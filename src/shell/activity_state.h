// The program's activity state: the names of the server's and the client's states, and the
// client's tray icon chosen by state. Pure rules; the main data module applies them (the reply
// time-out by state is the client's own rule).
#pragma once

#include <optional>
#include <string_view>

#include "client/client_state.h"
#include "server/server_state.h"

namespace tramolin {

// The name of a state ("uruchamianie", "rozłączony", ...); empty for a state without one.
std::string_view ActivityStateName(bool server_mode, int state);

// Index into the tray's six icons (0 white, 1 grey, 2 red, 3 blue, 4 green, 5 yellow).
enum TrayIcon : int {
  kTrayWhite = 0,
  kTrayGrey = 1,
  kTrayRed = 2,
  kTrayBlue = 3,
  kTrayGreen = 4,
  kTrayYellow = 5,
};

// The client's icon for a state; nullopt for a state above 10 (the icon stays as it is).
// Reaching the logged-in state with records held back gives blue once: the flag is cleared.
std::optional<int> ClientTrayIcon(int state, bool on_demand, bool& held_back);

}  // namespace tramolin
