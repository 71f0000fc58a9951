// The login to the replicated database before anything else is known: the host application's
// server, its administrator, and the administrator password it installs with.
#pragma once

#include <string_view>

namespace tramolin {

inline constexpr std::string_view kDefaultDatabaseServer = "127.0.0.1";
inline constexpr std::string_view kAdminUser = "sysdba";
// Also what a blank or missing C_KNF_SYSDBA_PASSWORD of the database stands for.
inline constexpr std::string_view kDefaultAdminPassword = "sandorift";

}  // namespace tramolin
