// The server's settings as the configuration file and the command line give them.
#pragma once

#include "config/configuration.h"
#include "server/replication_server.h"

namespace tramolin {

ServerSettings ServerSettingsFrom(const TConfig& config, const RunFlags& flags);

}  // namespace tramolin
