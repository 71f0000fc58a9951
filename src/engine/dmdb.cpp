#include "engine/dmdb.h"

#include "engine/db_connection.h"
#include "engine/fb/error.h"
#include "engine/pass_dm.h"
#include "engine/transaction_scope.h"
#include "platform/system_info.h"
#include "util/cp1250.h"
#include "util/log_level.h"
#include "util/text_rules.h"

namespace tramolin {

namespace {

using Item = fb::TransactionItem;

// The embedded engine's background collector is woken for every record version an export or a
// confirmation leaves behind; on a small machine the thread switches cost more than the
// collecting. The transaction that meets old versions removes them itself instead.
constexpr std::string_view kEmbeddedEngineConfig = "GCPolicy = cooperative";

constexpr std::initializer_list<Item> kReadCommitted = {Item::kReadCommitted, Item::kRecVersion,
                                                        Item::kNowait};
constexpr std::initializer_list<Item> kSnapshot = {Item::kConcurrency, Item::kNowait};
constexpr std::initializer_list<Item> kReadOnly = {Item::kReadCommitted, Item::kRecVersion,
                                                   Item::kNowait, Item::kRead};

constexpr std::string_view kRepInfoUpdate =
    "UPDATE REPINFO SET \nDATAAKTYW=:DATAAKTYW,\nDATAKONIEC=:DATAKONIEC\nWHERE ID=:ID";
constexpr std::string_view kRepInfoInsert =
    " INSERT INTO REPINFO (ID, HOST, TRYBPRACY, DATASTART, INFO, DATAAKTYW, IDREPKOPIE)  VALUES "
    "(:ID, :HOST, :TRYBPRACY, :DATASTART, :INFO, :DATAAKTYW, :IDREPKOPIE) ";

std::string Cut(std::string text, std::size_t length) {
  if (text.size() > length) text.resize(length);
  return text;
}

}  // namespace

TDMDB::TDMDB(HostServices& host, SlotBook& slot_book, TPassDM& pass_dm, DatabaseSettings settings)
    : host_(host),
      slots_(slot_book),
      pass_dm_(pass_dm),
      settings_(std::move(settings)),
      tool_(db_, kReadCommitted),
      get_data_(db_, kSnapshot),
      set_data_(db_, kReadCommitted),
      journal_count_(db_, kReadOnly),
      journal_delete_(db_, kReadCommitted),
      conflicts_(db_, kReadCommitted),
      event_(db_, kReadCommitted),
      sql_(db_, kReadCommitted),
      repinfo_(db_, kReadCommitted),
      reset_version_(db_, kReadCommitted),
      tool_query_(tool_),
      repinfo_query_(repinfo_, kRepInfoUpdate),
      reset_version_query_(reset_version_) {}

TDMDB::~TDMDB() {
  CloseActivity();
  try {
    DisconnectDatabase(true);
  } catch (const fb::Error&) {
    db_.ForceClose();
  }
}

bool TDMDB::ConnectionAlive() {
  if (!db_.IsOpen()) return false;
  if (db_.IsAlive()) return true;
  events_.reset();
  db_.ForceClose();
  return false;
}

bool TDMDB::ConnectDatabase() {
  host_.DatabaseConnectStarted();
  if (ConnectionAlive()) return true;
  const std::string path = DatabasePath("", settings_.directory, settings_.file);
  if (pass_dm_.ReadPassword(settings_.server, path)) settings_.password = pass_dm_.Password();
  connection_string_ = DatabasePath(settings_.server, settings_.directory, settings_.file);
  try {
    Open();
  } catch (const fb::Error& e) {
    slots_.SetErrorText(-1, e.what());
    return false;
  }
  InitConnection(settings_.application_name);
  return true;
}

void TDMDB::Open() {
  const int level = settings_.announce_connection ? kLogProgress : kLogDiagnostic;
  host_.Log(Concat({"Łączenie z bazą danych "_cp, connection_string_, " ..."}), level);
  db_.Open(connection_string_, DatabaseParams(settings_.user, settings_.password),
           settings_.server.empty() ? kEmbeddedEngineConfig : "");
  host_.Log(Concat({"Połączono z bazą danych "_cp, connection_string_}), level);
  UnregisterEvents();
  if (settings_.announce_connection || event_handler_) RegisterEvents();
}

void TDMDB::RegisterEvents() {
  try {
    events_ = std::make_unique<fb::EventSubscription>(
        db_, std::vector<std::string>{"DBUPGRADE", "REPDIALOGINSERT"},
        [this](const std::string& name, unsigned count) {
          if (event_handler_) event_handler_(name, count);
        });
  } catch (const fb::Error& e) {
    host_.Log(Concat({"W czasie rejestracji obsługi zdarzeń wystąpił błąd: \""_cp, e.what(), "\""}),
              kLogError);
  }
}

void TDMDB::UnregisterEvents() noexcept { events_.reset(); }

bool TDMDB::AnyTransactionActive() const {
  for (const fb::Transaction* t :
       {&tool_, &get_data_, &set_data_, &journal_count_, &journal_delete_, &conflicts_, &event_,
        &sql_, &repinfo_, &reset_version_}) {
    if (t->Active()) return true;
  }
  return false;
}

void TDMDB::DisconnectDatabase(bool force) {
  if (!ConnectionAlive()) return;
  if (!force && AnyTransactionActive()) return;
  host_.Log(Concat({"Rozłączanie z bazą danych "_cp, connection_string_, " ..."}), kLogProgress);
  UnregisterEvents();
  try {
    db_.Detach();
  } catch (const fb::Error&) {
    if (force) db_.ForceClose();
    throw;
  }
}

int TDMDB::ReadGenerator(const char* sql, int unchanged) {
  tool_query_.SetSql(sql);
  fb::ResultSet row = tool_query_.Open();
  return row.Next() ? static_cast<int>(row.GetInt(0)) : unchanged;
}

DatabaseIdentity TDMDB::ReadIdentity() {
  DatabaseIdentity identity;
  TransactionScope work(tool_);
  identity.id = ReadGenerator("SELECT GEN_ID(BAZA_ID, 0) FROM RDB$DATABASE", identity.id);
  identity.type = ReadGenerator("SELECT GEN_ID(BAZA_TYP, 0) FROM RDB$DATABASE", identity.type);
  identity.number = ReadGenerator("SELECT GEN_ID(BAZA_NR, 0) FROM RDB$DATABASE", identity.number);
  identity.version = GetDatabaseVersion();
  LoadDecimalFields();
  work.Commit();
  return identity;
}

std::string TDMDB::GetDatabaseVersion() {
  if (!ConnectDatabase()) return {};
  TransactionScope work(tool_);
  std::string version;
  tool_query_.SetSql(
      " SELECT GEN_ID(BAZA_MAJOR, 0) || '.' || GEN_ID(BAZA_MINOR, 0) FROM RDB$DATABASE ");
  fb::ResultSet row = tool_query_.Open();
  if (row.Next()) version = row.GetString(0);
  row.Close();
  work.Commit();
  return version;
}

bool TDMDB::ReadCopyDescription(std::string& description, int number) {
  description.clear();
  if (!ConnectDatabase()) return false;
  bool found = false;
  TransactionScope work(tool_);
  tool_query_.SetSql(" SELECT OPIS FROM REPKOPIE WHERE ID = " + std::to_string(number));
  fb::ResultSet row = tool_query_.Open();
  if (row.Next()) {
    description = row.GetString(0);
    found = true;
  }
  row.Close();
  work.Commit();
  return found;
}

void TDMDB::ResetVersionGenerators() {
  try {
    TransactionScope work(reset_version_);
    reset_version_query_.SetSql("SET GENERATOR BAZA_MINOR TO 0");
    reset_version_query_.Execute();
    reset_version_query_.SetSql("SET GENERATOR BAZA_MAJOR TO 0");
    reset_version_query_.Execute();
    work.Commit();
  } catch (const fb::Error&) {
    // a failed reset leaves the version as it was; the next check tells
  }
}

void TDMDB::WriteActivityJournal(const DatabaseIdentity& identity) {
  TransactionScope work(tool_);
  repinfo_id_ = ReadGenerator(" SELECT GEN_ID(REPINFO_ID, 1) FROM RDB$DATABASE ", repinfo_id_);
  const std::string info =
      Concat({std::to_string(identity.id), ";", std::to_string(identity.number), ";",
              identity.version, ";", GetFileVersion(ProgramPath())});
  const double now = host_.Now();
  tool_query_.SetSql(kRepInfoInsert);
  tool_query_.ParamByName("ID").SetInt(repinfo_id_);
  tool_query_.ParamByName("HOST").SetString(Cut(ComputerDescription(), 100));
  tool_query_.ParamByName("TRYBPRACY").SetInt(host_.ServerMode() ? 1 : 0);
  tool_query_.ParamByName("DATASTART").SetDateTime(now);
  tool_query_.ParamByName("INFO").SetString(Cut(info, 50));
  tool_query_.ParamByName("DATAAKTYW").SetDateTime(now);
  tool_query_.ParamByName("IDREPKOPIE").SetInt(identity.number);
  tool_query_.Execute();
  work.Commit();
}

// Before the row is written (a technician's console never writes one) there is nothing to
// update, so no connection is opened for it.
void TDMDB::UpdateActivity(bool closing) {
  if (repinfo_id_ == -1) return;
  try {
    if (!ConnectDatabase()) return;
    TransactionScope work(repinfo_);
    const double now = host_.Now();
    repinfo_query_.ParamByName("DATAAKTYW").SetDateTime(now);
    if (closing) {
      repinfo_query_.ParamByName("DATAKONIEC").SetDateTime(now);
    } else {
      repinfo_query_.ParamByName("DATAKONIEC").SetNull();
    }
    repinfo_query_.ParamByName("ID").SetInt(repinfo_id_);
    repinfo_query_.Execute();
    work.Commit();
  } catch (const fb::Error&) {
    // the activity times are refreshed again by the next touch
  }
}

void TDMDB::TouchActivity() { UpdateActivity(false); }

void TDMDB::CloseActivity() { UpdateActivity(true); }

std::string TDMDB::InitConnection(std::string_view application_name) {
  return tramolin::InitConnection(db_, application_name);
}

}  // namespace tramolin
