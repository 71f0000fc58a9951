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
  handle_ = detail::Checked([&](auto* s) {
    return attachment_.handle()->startTransaction(s, tpb.Length(), tpb.Buffer());
  });
}

void Transaction::Commit() { Finish(true); }
void Transaction::Rollback() { Finish(false); }

void Transaction::Finish(bool commit) {
  if (!Active()) throw Error("The transaction is not active");
  detail::Checked([&](auto* s) {
    if (commit) {
      handle_->commit(s);
    } else {
      handle_->rollback(s);
    }
  });
  handle_ = nullptr;  // a successful commit or rollback releases the interface
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
  if (!Active()) return;
  if (!force) {
    try {
      Rollback();
      return;
    } catch (const Error&) {
      // still held after a failed rollback: released below
    }
  }
  handle_->release();
  handle_ = nullptr;
}

}  // namespace tramolin::fb
