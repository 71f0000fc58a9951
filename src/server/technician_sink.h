// Where the server hands the commands of a logged-in technician (pkPolecenie). The technician
// command handler implements it; without one, commands are ignored.
#pragma once

#include <string>

namespace tramolin {

class ClientSession;

class TechnicianCommandSink {
 public:
  virtual ~TechnicianCommandSink() = default;

  // The technician's session and the decoded pkPolecenie payload ("command;" and, when there is
  // one, "argument;").
  virtual void HandleCommand(ClientSession& session, const std::string& payload) = 0;
};

}  // namespace tramolin
