#include "server/server_configuration.h"

namespace tramolin {

ServerSettings ServerSettingsFrom(const TConfig& config, const RunFlags& flags) {
  ServerSettings settings;
  settings.allow_list = flags.AllowList;
  settings.access_key = config.ServerAccessKey;
  settings.tls_certificate = config.ServerTlsCertificate;
  settings.tls_key = config.ServerTlsKey;
  settings.workers = config.ServerWorkers;
  return settings;
}

}  // namespace tramolin
