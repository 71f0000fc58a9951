// Where the configuration meets the database engine: the connection settings made from the
// configuration, and the server's version for the configuration's Firebird generation.
#pragma once

#include <optional>
#include <string>

#include "config/configuration.h"
#include "engine/database_settings.h"

namespace tramolin {

class TPassDM;

DatabaseSettings DatabaseSettingsOf(const TConfig& config);

// Asks the services manager of the configured server for its version (QueryServerVersion),
// logging in as sysdba with the password the database keeps (an empty one when none is found);
// nullopt on any failure.
std::optional<std::string> ProbeServerVersion(TPassDM& pass_dm, const TConfig& config);

}  // namespace tramolin
