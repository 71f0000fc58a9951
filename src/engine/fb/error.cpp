#include "engine/fb/error.h"

#include "engine/fb/api.h"

namespace tramolin::fb {

bool Error::IsConflictWithAnotherTransaction() const {
  switch (code_) {
    case isc_lock_conflict:
    case isc_deadlock:
    case isc_update_conflict:
      return true;
    default:
      return false;
  }
}

}  // namespace tramolin::fb
