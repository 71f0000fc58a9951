#include "shell/database_link.h"

#include <algorithm>

#include "engine/fb/service.h"
#include "engine/pass_dm.h"
#include "util/text_rules.h"

namespace tramolin {

DatabaseSettings DatabaseSettingsOf(const TConfig& config) {
  DatabaseSettings settings;
  settings.server = config.DBHost;
  settings.directory = config.DBPath;
  settings.file = config.DBFile;
  settings.user = config.DBUser;
  settings.password = config.DBPassword;
  return settings;
}

std::optional<std::string> ProbeServerVersion(TPassDM& pass_dm, const TConfig& config) {
  try {
    const bool known =
        pass_dm.ReadPassword(config.DBHost, DatabasePath("", config.DBPath, config.DBFile));
    std::string host = config.DBHost;
    host.erase(std::remove(host.begin(), host.end(), ':'), host.end());
    const std::string service = host.empty() ? "service_mgr" : host + ":service_mgr";
    return fb::ServerVersionOfService(service, "sysdba", known ? pass_dm.Password() : "");
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace tramolin
