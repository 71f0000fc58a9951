// One unit of work on a long-lived transaction: starts it when it is inactive and, unless the
// work commits, rolls back on leaving the scope what the scope started. Errors of that rollback
// are swallowed: the failure that ended the work is what the caller must see, and a lost
// connection has taken the transaction with it anyway.
#pragma once

namespace tramolin {

namespace fb {
class Transaction;
}

class TransactionScope {
 public:
  explicit TransactionScope(fb::Transaction& transaction);
  ~TransactionScope();
  TransactionScope(const TransactionScope&) = delete;
  TransactionScope& operator=(const TransactionScope&) = delete;

  // Commits what the scope started (a transaction that was already active belongs to an outer
  // unit of work and is left to it). Throws fb::Error; the scope then rolls back on leaving.
  void Commit();

 private:
  fb::Transaction& transaction_;
  bool started_here_;
};

}  // namespace tramolin
