#include "engine/fb/transaction.h"

#include "engine/fb/api.h"

namespace tramolin::fb {

namespace {

unsigned char TagOf(TransactionItem item) {
  switch (item) {
    case TransactionItem::kReadCommitted:
      return isc_tpb_read_committed;
    case TransactionItem::kRecVersion:
      return isc_tpb_rec_version;
    case TransactionItem::kConcurrency:
      return isc_tpb_concurrency;
    case TransactionItem::kNowait:
      return isc_tpb_nowait;
    case TransactionItem::kRead:
      return isc_tpb_read;
  }
  return isc_tpb_concurrency;
}

}  // namespace

Transaction::Transaction(Attachment& attachment, std::initializer_list<TransactionItem> items)
    : attachment_(attachment), items_(items) {
  attachment_.AddDependent(this);
}

Transaction::~Transaction() {
  OnAttachmentClosing(false);
  attachment_.RemoveDependent(this);
}

void Transaction::Start() {
  if (Active()) throw Error("The transaction is already active");
  if (!attachment_.IsOpen()) throw Error("The database connection is not open");
  detail::ParameterBlock tpb(Firebird::IXpbBuilder::TPB);
  for (TransactionItem item : items_) tpb.AddTag(TagOf(item));
  handle_.reset(detail::Checked([&](auto* s) {
    return attachment_.handle()->startTransaction(s, tpb.Length(), tpb.Buffer());
  }));
}

void Transaction::Commit() { Finish(true); }
void Transaction::Rollback() { Finish(false); }

void Transaction::Finish(bool commit) {
  if (!Active()) throw Error("The transaction is not active");
  EndInterface(handle_, [commit](Firebird::ITransaction* transaction) {
    detail::Checked([&](auto* s) {
      if (commit) {
        transaction->commit(s);
      } else {
        transaction->rollback(s);
      }
    });
  });
}

bool Transaction::StartIfInactive() {
  if (Active()) return false;
  Start();
  return true;
}

bool Transaction::CommitIfActive() {
  if (!Active()) return false;
  Commit();
  return true;
}

bool Transaction::RollbackIfActive() {
  if (!Active()) return false;
  Rollback();
  return true;
}

void Transaction::OnAttachmentClosing(bool force) noexcept {
  EndOrRelease(handle_, force, [](Firebird::ITransaction* transaction) {
    detail::Checked([&](auto* s) { transaction->rollback(s); });
  });
}

}  // namespace tramolin::fb
