// The one way into the data engine for the rest of the program: the database connection and
// identity, the activity journal, the change export and import with the conflict journal, the
// journal clean-up, the events posted to the host database and the technician's SQL. Owned
// together and torn down in the order their statements need (every statement before its
// connection).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/change_batch.h"
#include "engine/database_identity.h"
#include "engine/database_settings.h"
#include "engine/digest_ranges.h"
#include "engine/host_services.h"
#include "engine/journal_repair.h"
#include "engine/key_set.h"
#include "engine/slot_book.h"

namespace tramolin {

class TDMDB;
class TPassDM;
class TChangeExport;
class TChangeImport;
class TConflictJournal;
class TDatabaseEvents;
class TJournalCleanup;
class TRemoteSql;
class TSchemaAdaptation;

class ReplicationData {
 public:
  // name, postings since the last notification; called on a database thread.
  using EventHandler = std::function<void(const std::string& name, unsigned count)>;

  // Progress and error texts go to `slot_book`: the server's slots, or the client's own slot -1.
  ReplicationData(HostServices& host, SlotBook& slot_book, TPassDM& pass_dm,
                  DatabaseSettings settings);
  // Records the end time in REPINFO and closes the connection; never throws.
  ~ReplicationData();
  ReplicationData(const ReplicationData&) = delete;
  ReplicationData& operator=(const ReplicationData&) = delete;

  // Connection. Set the handler before the first connect; see TDMDB.
  void SetEventHandler(EventHandler handler);
  bool ConnectDatabase();
  void DisconnectDatabase(bool force);
  bool Connected() const;
  bool EventsRegistered() const;
  bool AnyTransactionActive() const;

  // Identity and the activity journal.
  DatabaseIdentity ReadIdentity();
  // The catalogues `started` read with its identity, for a connection that does not read its
  // own (a worker's).
  void AdoptCatalogues(const ReplicationData& started);
  // The structure version "major.minor" as the database holds it now.
  std::string GetDatabaseVersion();
  // Sets BAZA_MAJOR and BAZA_MINOR to 0: the server no longer knows this copy.
  void ResetVersionGenerators();
  // True when REPKOPIE has the copy; description is its OPIS.
  bool ReadCopyDescription(std::string& description, int number);
  void WriteActivityJournal(const DatabaseIdentity& identity);
  void TouchActivity();

  // The exchange.
  ChangeCounts CountChanges(int copy_number);
  // Every copy and the entries waiting for it; reads the whole journal. None on failure.
  std::optional<std::vector<CopyBacklog>> CountBacklogs();
  // NULL columns go as explicit NULLs only to a destination that agreed on them.
  bool PrepareChanges(int copy_number, bool new_only, int slot, PreparedChanges& out,
                      NullColumns nulls = NullColumns::kLeftOut, const ExportCycle& cycle = {});
  // The number of entries deleted; none on failure.
  std::optional<std::int32_t> DeleteJournalEntries(int slot);
  // Applies a batch's records (consumed as they go); see TChangeImport.
  ImportResult ImportChanges(std::string_view& payload, int sender_copy, int slot);
  // After an import of these records: see TJournalCleanup.
  void SweepImportedEntries(std::int32_t sender_copy, const RecordsByTable& records);

  // The digests of a table for a comparison, its records with pending entries for `destination`
  // marked in flight (TableDigests); none when the table cannot be read.
  std::optional<TDigestSet> ReadTableDigestSet(std::int32_t table_number, std::int32_t destination);
  // Journal entries for a copy that a comparison found different; see JournalRepair.
  std::optional<std::int32_t> JournalRepair(const RepairOrder& order);

  // A technician's statement, answered in one line; never throws.
  void ExecuteSQL(std::string_view sql, std::string& answer);

  // Where this connection goes and the password reader it logs in with: what a worker's own
  // connection is made from.
  const DatabaseSettings& Settings() const;
  const TPassDM& PassDm() const;

  // The connection module itself, for the engine's tests.
  TDMDB& Database() { return *database_; }

 private:
  std::unique_ptr<TDMDB> database_;
  std::unique_ptr<TChangeExport> export_;
  std::unique_ptr<TJournalCleanup> cleanup_;
  std::unique_ptr<TConflictJournal> conflicts_;
  std::unique_ptr<TSchemaAdaptation> schema_;
  std::unique_ptr<TDatabaseEvents> events_;
  std::unique_ptr<TChangeImport> import_;
  std::unique_ptr<TRemoteSql> sql_;
};

}  // namespace tramolin
