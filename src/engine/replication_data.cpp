#include "engine/replication_data.h"

#include "engine/change_export.h"
#include "engine/change_import.h"
#include "engine/conflict_journal.h"
#include "engine/database_events.h"
#include "engine/dmdb.h"
#include "engine/journal_cleanup.h"
#include "engine/remote_sql.h"
#include "engine/schema_adaptation.h"
#include "engine/table_digest.h"

namespace tramolin {

ReplicationData::ReplicationData(HostServices& host, SlotBook& slot_book, TPassDM& pass_dm,
                                 DatabaseSettings settings)
    : database_(std::make_unique<TDMDB>(host, slot_book, pass_dm, std::move(settings))),
      export_(std::make_unique<TChangeExport>(*database_, host, slot_book)),
      cleanup_(std::make_unique<TJournalCleanup>(*database_, host, slot_book)),
      conflicts_(std::make_unique<TConflictJournal>(*database_, host)),
      schema_(std::make_unique<TSchemaAdaptation>(*database_, host)),
      events_(std::make_unique<TDatabaseEvents>(*database_, host)),
      import_(std::make_unique<TChangeImport>(*database_, host, slot_book, *conflicts_, *schema_,
                                              *events_)),
      sql_(std::make_unique<TRemoteSql>(*database_, host, slot_book)) {}

// Members go in reverse order: every part's statements, and the import before the parts it uses,
// then the connection.
ReplicationData::~ReplicationData() = default;

void ReplicationData::SetEventHandler(EventHandler handler) {
  database_->SetEventHandler(std::move(handler));
}

bool ReplicationData::ConnectDatabase() { return database_->ConnectDatabase(); }

void ReplicationData::DisconnectDatabase(bool force) { database_->DisconnectDatabase(force); }

bool ReplicationData::Connected() const { return database_->Connected(); }

bool ReplicationData::EventsRegistered() const { return database_->EventsRegistered(); }

bool ReplicationData::AnyTransactionActive() const { return database_->AnyTransactionActive(); }

DatabaseIdentity ReplicationData::ReadIdentity() { return database_->ReadIdentity(); }

const DatabaseSettings& ReplicationData::Settings() const { return database_->Settings(); }

const TPassDM& ReplicationData::PassDm() const { return database_->PassDm(); }

void ReplicationData::AdoptCatalogues(const ReplicationData& started) {
  database_->AdoptCatalogues(*started.database_);
}

std::string ReplicationData::GetDatabaseVersion() { return database_->GetDatabaseVersion(); }

void ReplicationData::ResetVersionGenerators() { database_->ResetVersionGenerators(); }

bool ReplicationData::ReadCopyDescription(std::string& description, int number) {
  return database_->ReadCopyDescription(description, number);
}

void ReplicationData::WriteActivityJournal(const DatabaseIdentity& identity) {
  database_->WriteActivityJournal(identity);
}

void ReplicationData::TouchActivity() { database_->TouchActivity(); }

ChangeCounts ReplicationData::CountChanges(int copy_number) {
  return export_->CountChanges(copy_number);
}

std::optional<std::vector<CopyBacklog>> ReplicationData::CountBacklogs() {
  return export_->CountBacklogs();
}

bool ReplicationData::PrepareChanges(int copy_number, bool new_only, int slot, PreparedChanges& out,
                                     NullColumns nulls, const ExportCycle& cycle) {
  return export_->PrepareChanges(copy_number, new_only, slot, out, nulls, cycle);
}

std::optional<std::int32_t> ReplicationData::DeleteJournalEntries(int slot) {
  return cleanup_->DeleteJournalEntries(slot);
}

std::optional<TDigestSet> ReplicationData::ReadTableDigestSet(std::int32_t table_number,
                                                              std::int32_t destination) {
  if (!database_->ConnectDatabase()) return std::nullopt;
  try {
    const TableDigests digests = ReadTableDigests(*database_, table_number, destination);
    return TDigestSet(WithInFlight(digests.records, digests.in_flight));
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<std::int32_t> ReplicationData::JournalRepair(const RepairOrder& order) {
  return tramolin::JournalRepair(*database_, order);
}

ImportResult ReplicationData::ImportChanges(std::string_view& payload, int sender_copy, int slot) {
  return import_->ImportChanges(payload, sender_copy, slot);
}

void ReplicationData::SweepImportedEntries(std::int32_t sender_copy,
                                           const RecordsByTable& records) {
  cleanup_->SweepImportedEntries(sender_copy, records);
}

void ReplicationData::ExecuteSQL(std::string_view sql, std::string& answer) {
  sql_->ExecuteSQL(sql, answer);
}

}  // namespace tramolin
