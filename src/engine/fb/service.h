// The services manager of a Firebird server: the one query the program needs, the server's
// version text.
#pragma once

#include <string>

namespace tramolin::fb {

// service: "host[/port]:service_mgr", or "service_mgr" for the local engine. Throws Error.
std::string ServerVersionOfService(const std::string& service, const std::string& user,
                                   const std::string& password);

}  // namespace tramolin::fb
