// The client's settings and credentials, and the server's address publishing, as the
// configuration file and the command line give them.
#pragma once

#include <string>

#include "client/address_service.h"
#include "client/client_rules.h"
#include "client/replication_client.h"
#include "config/configuration.h"
#include "engine/database_identity.h"

namespace tramolin {

ClientSettings ClientSettingsFrom(const TConfig& config, const RunFlags& flags);
ClientCredentials ClientCredentialsFrom(const TConfig& config, const RunFlags& flags,
                                        const DatabaseIdentity& identity,
                                        const std::string& program_version);
AddressServiceSettings PublishingSettingsFrom(const TConfig& config);

}  // namespace tramolin
