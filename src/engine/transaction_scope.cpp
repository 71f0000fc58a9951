#include "engine/transaction_scope.h"

#include "engine/fb/transaction.h"

namespace tramolin {

TransactionScope::TransactionScope(fb::Transaction& transaction)
    : transaction_(transaction), started_here_(transaction.StartIfInactive()) {}

TransactionScope::~TransactionScope() {
  if (!started_here_) return;
  try {
    transaction_.RollbackIfActive();
  } catch (...) {
    // the work's own failure is already on its way to the caller
  }
}

void TransactionScope::Commit() {
  if (!started_here_) return;
  transaction_.CommitIfActive();
  started_here_ = false;
}

}  // namespace tramolin
