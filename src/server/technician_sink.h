// Where the server hands the commands of a logged-in technician (pkPolecenie). The technician
// command handler implements it; without one, commands are ignored.
#pragma once

#include <string>

namespace tramolin {

class TechnicianCommandSink {
 public:
  virtual ~TechnicianCommandSink() = default;

  // slot: the technician's slot index at the moment the command arrived; payload: the decoded
  // pkPolecenie payload ("command;" and, when there is one, "argument;").
  virtual void HandleCommand(int slot, const std::string& payload) = 0;
};

}  // namespace tramolin
