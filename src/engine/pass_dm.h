// TPassDM: reads the administrator password the host application keeps in its parameter table
// (C_KNF_SYSDBA_PASSWORD of the database's own number), through a fixed login of its own. The
// password is read at most once per run; one object serves the configuration loader, the
// wizard and the database module.
#pragma once

#include <string>
#include <string_view>

namespace tramolin {

// The connection string TPassDM uses: the server, ":" unless the server already has one, and the
// path; an empty server gives the path alone (embedded engine).
std::string PassConnectionString(std::string_view server, std::string_view path);

class TPassDM {
 public:
  // True when the password is known (read now or earlier in this run). On failure the password
  // is forgotten and LastError() tells why.
  bool ReadPassword(std::string_view server, std::string_view path);

  const std::string& Password() const { return password_; }
  const std::string& LastError() const { return last_error_; }

 private:
  std::string ReadFrom(const std::string& database);

  bool read_ = false;
  std::string password_;
  std::string last_error_;
};

}  // namespace tramolin
