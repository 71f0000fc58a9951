#include "engine/database_events.h"

#include <algorithm>
#include <exception>

#include "engine/dmdb.h"
#include "engine/transaction_scope.h"
#include "util/cp1250.h"
#include "util/text_rules.h"

namespace tramolin {

TDatabaseEvents::TDatabaseEvents(TDMDB& db, HostServices& host)
    : db_(db), host_(host), IBSPEvent(db.IBTEvent(), "EXECUTE PROCEDURE EVENT(:NAZWA)") {}

TDatabaseEvents::~TDatabaseEvents() = default;

void TDatabaseEvents::QueueEvent(std::string_view name) {
  if (!host_.EventsEnabled() || Trim(name).empty()) return;
  const bool queued = std::any_of(pending_.begin(), pending_.end(), [&](const std::string& held) {
    return SameTextIgnoringCase(held, name);
  });
  if (!queued) pending_.emplace_back(name);
}

void TDatabaseEvents::FireQueuedEvents(bool own_transaction) {
  if (!host_.EventsEnabled()) return;
  try {
    if (own_transaction) {
      TransactionScope work(db_.IBTEvent());
      FirePending();
      work.Commit();
    } else {
      FirePending();
    }
    pending_.clear();
  } catch (const std::exception&) {
    // the transaction could not be started or committed: the names wait for the next call
  }
}

void TDatabaseEvents::FireEvent(std::string_view name, bool own_transaction) {
  if (!host_.EventsEnabled() || Trim(name).empty()) return;
  try {
    if (own_transaction) {
      TransactionScope work(db_.IBTEvent());
      ExecuteEvent(name);
      work.Commit();
    } else {
      ExecuteEvent(name);
    }
  } catch (const std::exception&) {
    // an event that cannot be posted never undoes the work that queued it
  }
}

// Each name is posted on its own; one that fails is dropped like a single event that fails.
void TDatabaseEvents::FirePending() {
  for (const std::string& name : pending_) FireEvent(name, false);
}

void TDatabaseEvents::ExecuteEvent(std::string_view name) {
  IBSPEvent.ParamByName("NAZWA").SetString(name);
  IBSPEvent.Execute();
}

}  // namespace tramolin
