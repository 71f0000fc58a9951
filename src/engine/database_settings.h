// Where the replicated database is and how to log in: the configuration's DBHOST, DBPATH and
// DBFILE, and the administrator login (always sysdba; the password TPassDM reads replaces it).
#pragma once

#include <string>

namespace tramolin {

struct DatabaseSettings {
  std::string server = "127.0.0.1";  // may carry a port in Firebird's "host/port" notation
  std::string directory;
  std::string file;
  std::string user = "sysdba";
  std::string password = "sandorift";
};

}  // namespace tramolin
