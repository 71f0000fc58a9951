// Events posted back to the host database after an import, through its procedure EVENT, so that
// running instances of the host application refresh their registers. Only with the Events option.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/fb/statement.h"
#include "engine/host_services.h"

namespace tramolin {

class TDMDB;

// Lives as long as its statement may: destroy it before the TDMDB it was made for.
class TDatabaseEvents {
 public:
  TDatabaseEvents(TDMDB& db, HostServices& host);
  ~TDatabaseEvents();
  TDatabaseEvents(const TDatabaseEvents&) = delete;
  TDatabaseEvents& operator=(const TDatabaseEvents&) = delete;

  // Adds a name to the pending list (no duplicates, letter case ignored); blank names and an
  // Events option that is off add nothing.
  void QueueEvent(std::string_view name);
  // Fires every pending name in the order queued and empties the list; a name whose EVENT fails
  // is dropped like any single event. When the transaction cannot be started or committed the
  // list keeps its names. Nothing happens with the Events option off.
  void FireQueuedEvents(bool own_transaction);
  // Executes EVENT(name); errors are swallowed.
  void FireEvent(std::string_view name, bool own_transaction);

  std::size_t QueuedCount() const { return pending_.size(); }

 private:
  void FirePending();
  void ExecuteEvent(std::string_view name);  // throws fb::Error

  TDMDB& db_;
  HostServices& host_;
  fb::Statement IBSPEvent;  // EXECUTE PROCEDURE EVENT(:NAZWA) on IBTEvent
  std::vector<std::string> pending_;
};

}  // namespace tramolin
