// Small rules of a database connection shared by the data modules, the configuration loader and
// the wizard: registering a connection with the host database, replacing the login lines of a
// parameter text, and the server version from the services manager.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tramolin {

namespace fb {
class Attachment;
}

// "SELECT ORESULT, OMESSAGE FROM SP_INITCONNECTION('<version>','<computer>','<application>',0)"
// with the texts cut to 30, 80 and 80 characters and written as quoted SQL literals.
std::string InitConnectionSql(std::string_view version, std::string_view computer,
                              std::string_view application);

// Registers the connection with the host database (program version, computer name and the
// application name; an empty name is the program file's name without extension). Returns the
// procedure's message when its result is -1 or 1, else "". Never fails: errors are swallowed.
std::string InitConnection(fb::Attachment& connection, std::string_view application_name);

// The parameter lines without any line containing USER_NAME or PASSWORD (in any letter case),
// then "user_name=<user>" and "password=<password>"; every line ends in CR LF.
std::string SetCredentials(std::string_view lines, std::string_view user,
                           std::string_view password);

// The version text of the services manager of `server` (every ":" removed; empty = the local
// engine), or nullopt when it cannot be asked.
std::optional<std::string> QueryServerVersion(std::string_view server, std::string_view user,
                                              std::string_view password);

}  // namespace tramolin
