#include "client/client_state.h"

#include <array>

#include "util/cp1250.h"

namespace tramolin {
namespace {

constexpr std::array<std::string_view, 11> kClientStateNames = {
    "rozłączony"_cp,           "łączenie"_cp,    "połączony"_cp,
    "autoryzowanie"_cp,        "zalogowany"_cp,  "oczekiwanie"_cp,
    "przetwarzanie"_cp,        "sprawdzanie"_cp, "przygotowywanie"_cp,
    "oczekiwanie na potw."_cp, "odznaczanie"_cp};

constexpr int kTenMinutes = 600'000;
constexpr int kOneHour = 3'600'000;

}  // namespace

std::string_view ClientStateName(int state) {
  if (state < 0 || static_cast<std::size_t>(state) >= kClientStateNames.size()) return {};
  return kClientStateNames[static_cast<std::size_t>(state)];
}

std::optional<int> ClientReplyTimeout(int state) {
  switch (state) {
    case kClientConnected:
    case kClientAuthorising:
      return kTenMinutes;
    case kClientWaiting:
    case kClientAwaitingConfirmation:
      return kOneHour;
    default:
      return std::nullopt;
  }
}

}  // namespace tramolin
