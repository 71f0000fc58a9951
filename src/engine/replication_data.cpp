#include "engine/replication_data.h"

#include "engine/change_export.h"
#include "engine/dmdb.h"
#include "engine/journal_cleanup.h"

namespace tramolin {

ReplicationData::ReplicationData(HostServices& host, SlotBook& slot_book, TPassDM& pass_dm,
                                 DatabaseSettings settings)
    : database_(std::make_unique<TDMDB>(host, slot_book, pass_dm, std::move(settings))),
      export_(std::make_unique<TChangeExport>(*database_, host, slot_book)),
      cleanup_(std::make_unique<TJournalCleanup>(*database_, host, slot_book)) {}

// Members go in reverse order: the clean-up's and the export's statements before the connection.
ReplicationData::~ReplicationData() = default;

void ReplicationData::SetEventHandler(EventHandler handler) {
  database_->SetEventHandler(std::move(handler));
}

bool ReplicationData::ConnectDatabase() { return database_->ConnectDatabase(); }

void ReplicationData::DisconnectDatabase(bool force) { database_->DisconnectDatabase(force); }

bool ReplicationData::Connected() const { return database_->Connected(); }

bool ReplicationData::AnyTransactionActive() const { return database_->AnyTransactionActive(); }

DatabaseIdentity ReplicationData::ReadIdentity() { return database_->ReadIdentity(); }

void ReplicationData::WriteActivityJournal(const DatabaseIdentity& identity) {
  database_->WriteActivityJournal(identity);
}

void ReplicationData::TouchActivity() { database_->TouchActivity(); }

ChangeCounts ReplicationData::CountChanges(int copy_number) {
  return export_->CountChanges(copy_number);
}

bool ReplicationData::PrepareChanges(int copy_number, bool new_only, int slot,
                                     PreparedChanges& out) {
  return export_->PrepareChanges(copy_number, new_only, slot, out);
}

bool ReplicationData::DeleteJournalEntries(int slot) {
  return cleanup_->DeleteJournalEntries(slot);
}

}  // namespace tramolin
