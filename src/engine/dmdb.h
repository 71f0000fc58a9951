// TDMDB: the program's one connection to the replicated database, its transactions, the
// database's identity and structure version, the activity journal REPINFO and the database
// events subscription. The export, import and other data operations work through the
// connection and transactions made public here.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/database_identity.h"
#include "engine/database_settings.h"
#include "engine/decimal_manager.h"
#include "engine/fb/attachment.h"
#include "engine/fb/events.h"
#include "engine/fb/statement.h"
#include "engine/fb/transaction.h"
#include "engine/host_services.h"
#include "engine/record_reader.h"
#include "engine/slot_book.h"

namespace tramolin {

struct RepairOrder;

class TPassDM;

class TChangeExport;
class TChangeImport;
class TConflictJournal;
class TDatabaseEvents;
class TJournalCleanup;
class TRemoteSql;
class TSchemaAdaptation;
class TDMDBTestAccess;
struct TableDigests;

class TDMDB {
 public:
  // name, postings since the last notification; called on the events thread, never the caller's.
  using EventHandler = std::function<void(const std::string& name, unsigned count)>;

  TDMDB(HostServices& host, SlotBook& slot_book, TPassDM& pass_dm, DatabaseSettings settings);
  // Records the end time in REPINFO and closes the connection by force; never throws.
  ~TDMDB();
  TDMDB(const TDMDB&) = delete;
  TDMDB& operator=(const TDMDB&) = delete;

  // Set before the first connect; the subscription is made again after every connect.
  void SetEventHandler(EventHandler handler) { event_handler_ = std::move(handler); }
  DatabaseSettings& Settings() { return settings_; }
  const DatabaseSettings& Settings() const { return settings_; }
  const TPassDM& PassDm() const { return pass_dm_; }

  // Opens the connection unless it is open and alive; false (error text in slot -1) on failure.
  bool ConnectDatabase();
  // Without force an active transaction keeps the connection open. Close errors reach the caller.
  void DisconnectDatabase(bool force);

  DatabaseIdentity ReadIdentity();
  // Takes over the catalogues another module read with its identity (a worker's connection
  // exports as the connection of the start of work does).
  void AdoptCatalogues(const TDMDB& started) { decimals_ = started.decimals_; }
  // "" when the database cannot be reached.
  std::string GetDatabaseVersion();
  bool ReadCopyDescription(std::string& description, int number);
  void ResetVersionGenerators();

  // The REPINFO row of this run: written once at start, touched by the activity timer, closed
  // when the module goes away.
  void WriteActivityJournal(const DatabaseIdentity& identity);
  void TouchActivity();
  void CloseActivity();
  int RepInfoId() const { return repinfo_id_; }

  // Registers this module's connection with the host database; see InitConnection.
  std::string InitConnection(std::string_view application_name);

  const std::string& ConnectionString() const { return connection_string_; }
  bool AnyTransactionActive() const;
  bool Connected() const { return db_.IsOpen(); }
  // Whether the database events subscription of the current connection stands.
  bool EventsRegistered() const { return events_ != nullptr; }

 private:
  friend class TChangeExport;
  friend class TChangeImport;
  friend class TConflictJournal;
  friend class TDatabaseEvents;
  friend class TJournalCleanup;
  friend std::optional<std::int32_t> JournalRepair(TDMDB& db, const RepairOrder& order);
  friend class TRemoteSql;
  friend class TSchemaAdaptation;
  friend class TDMDBTestAccess;
  friend TableDigests ReadTableDigests(TDMDB& db, std::int32_t table_number,
                                       std::int32_t destination);

  fb::Attachment& DB() { return db_; }
  fb::Transaction& IBTTool() { return tool_; }
  fb::Transaction& IBTGetData() { return get_data_; }
  fb::Transaction& IBTSetData() { return set_data_; }
  fb::Transaction& IBT_REPZMIANY_Count() { return journal_count_; }
  fb::Transaction& IBT_REPZMIANY_Delete2() { return journal_delete_; }
  fb::Transaction& IBT_REPKONFL() { return conflicts_; }
  fb::Transaction& IBTEvent() { return event_; }
  fb::Transaction& IBTSQL() { return sql_; }
  fb::Transaction& IBTREPINFO() { return repinfo_; }
  fb::Transaction& IBTResetDBVer() { return reset_version_; }
  fb::Statement& IBQTool() { return tool_query_; }
  // The DOUBLE PRECISION columns, loaded by ReadIdentity; and the reader of one record for
  // export (its statement IBQGetData on IBTGetData).
  TDecimalManager& Decimals() { return decimals_; }
  TRecordReader& RecordReader() { return record_reader_; }

  bool ConnectionAlive();
  void Open();
  void RegisterEvents();
  void UnregisterEvents() noexcept;
  int ReadGenerator(const char* sql, int unchanged);
  void UpdateActivity(bool closing);
  // Fills the decimal-field catalogue inside IBTTool at the end of ReadIdentity.
  void LoadDecimalFields() { tramolin::LoadDecimalFields(tool_query_, decimals_); }

  HostServices& host_;
  SlotBook& slots_;
  TPassDM& pass_dm_;
  DatabaseSettings settings_;
  std::string connection_string_;
  EventHandler event_handler_;
  int repinfo_id_ = -1;

  fb::Attachment db_;
  fb::Transaction tool_;
  fb::Transaction get_data_;
  fb::Transaction set_data_;
  fb::Transaction journal_count_;
  fb::Transaction journal_delete_;
  fb::Transaction conflicts_;
  fb::Transaction event_;
  fb::Transaction sql_;
  fb::Transaction repinfo_;
  fb::Transaction reset_version_;
  fb::Statement tool_query_;
  fb::Statement repinfo_query_;
  fb::Statement reset_version_query_;
  std::unique_ptr<fb::EventSubscription> events_;
  TDecimalManager decimals_;
  TRecordReader record_reader_{get_data_, decimals_};
};

}  // namespace tramolin
