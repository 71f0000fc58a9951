// Where the replicated database is and how to log in: the configuration's DBHOST, DBPATH and
// DBFILE, and the administrator login (always sysdba; the password TPassDM reads replaces it);
// and the folders whose files replicated data may name.
#pragma once

#include <string>
#include <vector>

#include "util/database_defaults.h"

namespace tramolin {

struct DatabaseSettings {
  std::string server{kDefaultDatabaseServer};  // may carry a port: Firebird's "host/port"
  std::string directory;
  std::string file;
  std::string user{kAdminUser};
  std::string password{kDefaultAdminPassword};
  // How the connection registers itself with the host database; the wizard's test says so.
  std::string application_name{"VELMO REP - MAIN"};
  // The only folders (code page 1250, absolute) whose files replicated data may make this site
  // read: the linked files of attachment requests. None, the default, allows no file.
  std::vector<std::string> attachment_folders;
  // The connection of the start of work says in the log when it connects; a worker's many
  // connections say it only in the debug log. Only the first, or one with an event handler,
  // subscribes to the database's events.
  bool announce_connection = true;
};

}  // namespace tramolin
