#include "shell/activity_state.h"

#include <array>

#include "util/cp1250.h"

namespace tramolin {
namespace {

constexpr std::array<std::string_view, 4> kServerStateNames = {
    "uruchamianie"_cp, "gotowość"_cp, "przygotowywanie"_cp, "przetwarzanie"_cp};

}  // namespace

std::string_view ActivityStateName(bool server_mode, int state) {
  if (state < 0) return {};
  const auto index = static_cast<std::size_t>(state);
  if (!server_mode) return ClientStateName(state);
  return index < kServerStateNames.size() ? kServerStateNames[index] : "";
}

std::optional<int> ClientTrayIcon(int state, bool on_demand, bool& held_back) {
  switch (state) {
    case kClientDisconnected:
      return on_demand ? kTrayGrey : kTrayRed;
    case kClientConnecting:
      return kTrayRed;
    case kClientConnected:
    case kClientAuthorising:
    case kClientWaiting:
    case kClientAwaitingConfirmation:
      return kTrayYellow;
    case kClientLoggedIn:
      if (!held_back) return kTrayWhite;
      held_back = false;
      return kTrayBlue;
    case kClientProcessing:
    case kClientChecking:
    case kClientPreparing:
    case kClientUnmarking:
      return kTrayGreen;
    default:
      return std::nullopt;
  }
}

}  // namespace tramolin
