// The client's rules that need no socket and no timer: where the next connection attempt goes,
// when the next synchronisation starts, when the automatic start fires, what a server's error
// report means, and the authentication the client sends.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "protocol/features.h"

namespace tramolin {

// Where the address in use came from (the client socket's Tag).
enum class AddressSource : int { kPrimary = 0, kLookedUp = 1, kAlternative = 2 };

struct ServerAddresses {
  std::string host;  // primary
  int port = 0;
  std::string host2;  // alternative
  int port2 = 0;
  std::string address_service;  // URL of the address service; empty: no lookup
};

// An alternative equal to the primary, without a host or with port 0 is never tried.
bool AlternativeUsable(const ServerAddresses& addresses);

// The source tried after an attempt through `failed` did not connect, or nullopt for the
// one-minute pause (after which the primary address comes again).
std::optional<AddressSource> NextAddressSource(AddressSource failed,
                                               const ServerAddresses& addresses);

// The wait before the next synchronisation: the configured minutes from 06:00:00 to 22:00:00
// (both included), ten times that at night. `now` is a day count.
int NextSyncIntervalMs(double now, int interval_minutes);

// The automatic start's clock: "hh:nn" of `now` equals the configured text exactly.
bool AutoStartDue(double now, std::string_view configured);

// A server's error report as the client handles it.
struct ServerErrorReaction {
  bool known = false;             // codes 0-5; others change nothing
  std::string line;               // the log line
  int level = 0;                  // its level
  bool keeps_connection = false;  // code 5: held back by a user's lock, wait for the next cycle
};
ServerErrorReaction ReactionToServerError(int code, std::string_view text);

// The text a verification result other than OK is shown with; a code that is not in the table, by
// its number.
std::string VerificationRefusalText(int code);

// What the client tells the server about itself.
struct ClientCredentials {
  int copy_number = 0;
  int database_id = 0;
  std::string access_key;  // travels in the otherwise unused field; empty for none
  std::string database_version;
  std::string program_version;
  bool technician = false;
  bool send_new_data_first = false;
  FeatureSet features = kSupportedFeatures;  // offered in the authentication's ninth field
};
std::string ClientAuthPayload(const ClientCredentials& credentials);

}  // namespace tramolin
