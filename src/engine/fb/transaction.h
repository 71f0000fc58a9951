// A long-lived transaction object bound to one attachment for good. Its parameter block carries
// exactly the items it was made with; it never commits or rolls back by itself, except that a
// transaction still active when its owner goes away (or its connection closes) is rolled back.
#pragma once

#include <initializer_list>
#include <vector>

#include "engine/fb/attachment.h"
#include "engine/fb/owned.h"

namespace Firebird {
class ITransaction;
}

namespace tramolin::fb {

enum class TransactionItem { kReadCommitted, kRecVersion, kConcurrency, kNowait, kRead };

class Transaction : private Dependent {
 public:
  Transaction(Attachment& attachment, std::initializer_list<TransactionItem> items);
  ~Transaction() override;
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  bool Active() const { return handle_ != nullptr; }
  void Start();
  void Commit();
  void Rollback();
  // Each tells whether it did something.
  bool StartIfInactive();
  bool CommitIfActive();
  bool RollbackIfActive();

  Attachment& attachment() const { return attachment_; }
  Firebird::ITransaction* handle() const { return handle_.get(); }

 private:
  void OnAttachmentClosing(bool force) noexcept override;
  void Finish(bool commit);

  Attachment& attachment_;
  std::vector<TransactionItem> items_;
  Owned<Firebird::ITransaction> handle_;
};

}  // namespace tramolin::fb
