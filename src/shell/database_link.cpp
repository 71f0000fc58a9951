#include "shell/database_link.h"

#include "engine/db_connection.h"
#include "engine/pass_dm.h"
#include "util/database_defaults.h"
#include "util/text_rules.h"

namespace tramolin {

DatabaseSettings DatabaseSettingsOf(const TConfig& config) {
  DatabaseSettings settings;
  settings.server = config.DBHost;
  settings.directory = config.DBPath;
  settings.file = config.DBFile;
  settings.user = config.DBUser;
  settings.password = config.DBPassword;
  settings.attachment_folders = config.AttachmentFolders;
  return settings;
}

std::optional<std::string> ProbeServerVersion(TPassDM& pass_dm, const TConfig& config) {
  const bool known =
      pass_dm.ReadPassword(config.DBHost, DatabasePath("", config.DBPath, config.DBFile));
  return QueryServerVersion(config.DBHost, kAdminUser, known ? pass_dm.Password() : "");
}

}  // namespace tramolin
