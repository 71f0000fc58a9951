// The server's activity states, and the status of one client slot with the names the client grid
// and the clients report show.
#pragma once

#include <string_view>

namespace tramolin {

enum ServerState : int {
  kServerStarting = 0,
  kServerReady = 1,
  kServerPreparing = 2,
  kServerProcessing = 3,
};

enum class SlotStatus : int {
  kConnected = 0,             // not yet authenticated
  kAuthorising = 1,           // authentication data received, being verified
  kLoggedIn = 2,              // idle between exchanges
  kAwaitingData = 3,          // the server prepares data for the client
  kPreparing = 4,             // never set by the server
  kImporting = 5,             // the client imports a batch the server sent
  kAwaitingConfirmation = 6,  // the server imports the client's batch
};

// "połączony", "autoryzowanie", ...; empty for a code outside the table.
std::string_view SlotStatusName(int status);

}  // namespace tramolin
