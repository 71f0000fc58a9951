#include "client/client_rules.h"

#include <cmath>
#include <cstdio>

#include "engine/database_identity.h"
#include "protocol/packet_types.h"
#include "protocol/payloads.h"
#include "util/cp1250.h"
#include "util/day_time.h"
#include "util/log_level.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

constexpr double kDayStarts = 0.25;         // 06:00:00
constexpr double kNightStarts = 22.0 / 24;  // after 22:00:00
constexpr double kOneMillisecond = 1.0 / 86'400'000;
constexpr int kMinuteMs = 60'000;
constexpr int kNightFactor = 10;

}  // namespace

bool AlternativeUsable(const ServerAddresses& addresses) {
  return addresses.port2 != 0 && !addresses.host2.empty() && addresses.host2 != addresses.host;
}

std::optional<AddressSource> NextAddressSource(AddressSource failed,
                                               const ServerAddresses& addresses) {
  if (failed == AddressSource::kPrimary && !addresses.address_service.empty()) {
    return AddressSource::kLookedUp;
  }
  if (failed != AddressSource::kAlternative && AlternativeUsable(addresses)) {
    return AddressSource::kAlternative;
  }
  return std::nullopt;
}

int NextSyncIntervalMs(double now, int interval_minutes) {
  const double time_of_day = now - std::floor(now);
  // A time read at 22:00:00.000 may come out a hair above the fraction.
  const bool day = time_of_day >= kDayStarts - kOneMillisecond / 2 &&
                   time_of_day <= kNightStarts + kOneMillisecond / 2;
  return interval_minutes * kMinuteMs * (day ? 1 : kNightFactor);
}

bool AutoStartDue(double now, std::string_view configured) {
  const LocalDateTime time = FromDayCount(now);
  char text[8];
  std::snprintf(text, sizeof text, "%02d:%02d", time.hour % 100, time.minute % 100);
  return configured == text;
}

ServerErrorReaction ReactionToServerError(int code, std::string_view text) {
  ServerErrorReaction reaction;
  if (!IsKnownErrorCode(code)) return reaction;
  reaction.known = true;
  reaction.line = std::string(ClientSideErrorText(code));
  if (code != kErrorReceiveOverflow) reaction.line += LoggablePeerText(text);
  reaction.keeps_connection = code == kErrorImportLocked;
  reaction.level = reaction.keeps_connection ? kLogProgress : kLogError;
  return reaction;
}

std::string VerificationRefusalText(int code) {
  const std::string_view known = VerificationResultText(code);
  return known.empty() ? "nieznany kod "_cp + std::to_string(code) : std::string(known);
}

std::string ClientAuthPayload(const ClientCredentials& credentials) {
  TAUTHData data;
  data.DBNR = credentials.copy_number;
  data.DBID = credentials.database_id;
  data.Reserved = credentials.access_key;
  data.DBVer = credentials.database_version;
  data.RepVer = credentials.program_version;
  data.Serwisant = credentials.technician;
  data.BAZA_VER_HIGH = std::to_string(BAZA_VER_HIGH);
  data.SendNewDataFirst = credentials.send_new_data_first;
  data.Features = FeatureListText(credentials.features);
  return BuildAuthData(data);
}

}  // namespace tramolin
