#include "engine/schema_adaptation.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>

#include "engine/attachment_folders.h"
#include "engine/dmdb.h"
#include "engine/transaction_scope.h"
#include "util/cp1250.h"
#include "util/log_level.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

// By LOKALIZACJA: the host table that receives the column (0: none).
constexpr std::array<std::string_view, 25> kLocationTables = {
    "",
    "KONTRAHENT",
    "KONTAKTY",
    "KORESPONDENCJADZIENNIK",
    "ZADANIA",
    "INWESTYCJA",
    "INWESTYCJAETAP",
    "MATHEAD",
    "TOWARY",
    "ZAMHEAD",
    "ZAMPRODHEAD",
    "DOKUMENTY",
    "URZADZENIADANE",
    "INSTALACJE",
    "ZASOBY",
    "ZASOBYREZERWACJE",
    "ZAMDETAIL",
    "GRUPYINWESTYCJI",
    "INWESTYCJATOWARY",
    "GRUPYADRESATOW",
    "KONTRAHENTTOWARY",
    "PLANY",
    "FAKHEAD",
    "PRZEGLADY",
    "KSEF",
};

// By TYP: the column's SQL type ("" for a kind that has no column).
constexpr std::array<std::string_view, 13> kColumnTypes = {
    "",
    "Smallint",
    "VARCHAR(250) COLLATE PXW_PLK",
    "",
    "Integer",
    "TimeStamp",
    "Numeric (18,6)",
    "Integer",
    "",
    "Integer",
    "BLOB SUB_TYPE 0",
    "BLOB SUB_TYPE 1",
    "BLOB SUB_TYPE 1 CHARACTER SET NONE",
};

constexpr std::size_t kMessageLimit = 250;
constexpr std::int32_t kLinkedFile = 1;
constexpr std::int32_t kDone = 1;
constexpr std::int32_t kFailed = 2;

template <std::size_t N>
std::string_view Entry(const std::array<std::string_view, N>& table, std::int32_t index) {
  if (index < 0 || static_cast<std::size_t>(index) >= N) return {};
  return table[static_cast<std::size_t>(index)];
}

std::string Cut(std::string text) {
  if (text.size() > kMessageLimit) text.resize(kMessageLimit);
  return text;
}

std::string Quoted(std::string_view text) { return Concat({"\"", text, "\""}); }

std::string ColumnExistsSql(std::string_view table, std::string_view column) {
  return Concat({" SELECT RDB$FIELD_NAME  FROM RDB$RELATION_FIELDS  WHERE RDB$FIELD_NAME = '",
                 column, "'", " AND RDB$RELATION_NAME = '", table, "'"});
}

// The file name without its directory: the stored path may come from either kind of system.
std::string_view BareFileName(std::string_view path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The stored path (code page 1250) as the file system spells it.
std::filesystem::path LocalPath(std::string_view stored) {
  return std::filesystem::path(Cp1250ToUtf8(stored));
}

bool IsExistingFile(const std::filesystem::path& path) {
  std::error_code ignored;
  return std::filesystem::is_regular_file(path, ignored);
}

// "" when the file can be opened for reading, else the system's reason.
std::string OpenFailure(const std::filesystem::path& path) {
  errno = 0;
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                             &std::fclose);
  if (file != nullptr) return {};
  return errno != 0 ? std::strerror(errno) : "cannot open the file";
}

// The whole content; shown_path names the file in the error.
std::string ReadWholeFile(const std::filesystem::path& path, std::string_view shown_path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
  std::string content(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
  if (size >= 0) in.seekg(0).read(content.data(), size);
  if (size < 0 || !in || in.gcount() != size) {
    throw std::runtime_error(Concat({"Cannot read the file ", Quoted(shown_path)}));
  }
  return content;
}

void RollBackQuietly(fb::Transaction& transaction) noexcept {
  try {
    transaction.RollbackIfActive();
  } catch (...) {
    // the commit's failure is what the caller is told
  }
}

}  // namespace

std::string_view ExtraColumnTable(std::int32_t location) {
  return Entry(kLocationTables, location);
}

std::string_view ExtraColumnType(std::int32_t type) { return Entry(kColumnTypes, type); }

TSchemaAdaptation::TSchemaAdaptation(TDMDB& db, HostServices& host)
    : db_(db), host_(host), IBQSQL(db.IBTSQL()) {}

TSchemaAdaptation::~TSchemaAdaptation() = default;

void TSchemaAdaptation::AdaptExtraColumn(const TRekord& definition, std::int32_t change_type,
                                         std::string_view log_prefix) {
  const std::int32_t deleted = GetIntField(definition, "USUNIETY");
  const std::string_view table = ExtraColumnTable(GetIntField(definition, "LOKALIZACJA"));
  const std::string column = "USER" + std::to_string(definition.record_id);
  if (change_type == kChangeInsert && deleted == 0) {
    const std::string_view type = ExtraColumnType(GetIntField(definition, "TYP"));
    host_.Log(Concat({log_prefix, "PDNEW ", Quoted(Concat({table, " ", column, " ", type}))}),
              kLogRecord);
    DodajPole(table, column, type);
  } else if (change_type == kChangeUpdate && deleted == 1) {
    host_.Log(Concat({log_prefix, "PDDEL ", Quoted(Concat({table, " ", column}))}), kLogRecord);
    UsunPole(table, column);
  }
}

void TSchemaAdaptation::DodajPole(std::string_view table, std::string_view column,
                                  std::string_view type) {
  if (Trim(table).empty() || Trim(column).empty() || Trim(type).empty()) return;
  try {
    ChangeColumn(table, column, true, Concat({"ALTER TABLE ", table, " ADD ", column, " ", type}));
  } catch (const std::exception& error) {
    throw std::runtime_error(
        Concat({"DodajPole(", table, ", ", column, ",", type, "): ", Quoted(error.what())}));
  }
}

void TSchemaAdaptation::UsunPole(std::string_view table, std::string_view column) {
  if (Trim(table).empty() || Trim(column).empty()) return;
  try {
    ChangeColumn(table, column, false, Concat({"ALTER TABLE ", table, " DROP ", column}));
  } catch (const std::exception& error) {
    throw std::runtime_error(
        Concat({"UsunPole(", column, ", ", table, "): ", Quoted(error.what())}));
  }
}

void TSchemaAdaptation::ChangeColumn(std::string_view table, std::string_view column, bool add,
                                     std::string_view alter_sql) {
  TransactionScope work(db_.IBTTool());
  fb::Statement& query = db_.IBQTool();
  query.SetSql(ColumnExistsSql(table, column));
  bool exists = false;
  {
    fb::ResultSet row = query.Open();
    exists = row.Next();
  }
  if (exists != add) {
    query.SetSql(alter_sql);
    query.Execute();
  }
  work.Commit();
}

void TSchemaAdaptation::ImportAttachment(std::int32_t id, std::int32_t& result,
                                         std::string& message) {
  host_.Log("Import załącznika ID="_cp + std::to_string(id), kLogProgress);
  result = kFailed;
  message.clear();
  fb::Transaction& transaction = db_.IBTSQL();
  try {
    transaction.StartIfInactive();
    if (StoreLinkedFile(id, message)) result = kDone;
  } catch (const std::exception& error) {
    result = kFailed;
    message = Cut(std::string(Trim(error.what())));
  }
  try {
    IBQSQL.SetSql({});  // holds no table of the host application past this call
    transaction.CommitIfActive();
  } catch (const std::exception& error) {
    RollBackQuietly(transaction);
    result = kFailed;
    message = Cut(std::string(Trim(error.what())));
  }
  host_.Log(Concat({"Przetworzono: [", std::to_string(result), "] ", Quoted(message)}),
            kLogProgress);
}

bool TSchemaAdaptation::StoreLinkedFile(std::int32_t id, std::string& message) {
  std::string stored_path;
  if (!ReadLink(id, stored_path, message)) return false;
  const std::optional<std::filesystem::path> path = ReadableFile(stored_path, message);
  if (!path) return false;
  IBQSQL.SetSql(
      "UPDATE ZALACZNIKI SET TYPZALACZNIKA = 0, ZALACZNIK = :ZALACZNIK, NAZWA = :NAZWA "
      "WHERE ID = " +
      std::to_string(id));
  IBQSQL.ParamByName("ZALACZNIK").SetBlob(ReadWholeFile(*path, stored_path));
  IBQSQL.ParamByName("NAZWA").SetString(UpperCase(BareFileName(stored_path)));
  IBQSQL.Execute();
  return true;
}

// Whether the file lies inside the attachment folders is decided before the file is looked at,
// so that the answer tells nothing about files outside them.
std::optional<std::filesystem::path> TSchemaAdaptation::ReadableFile(const std::string& stored_path,
                                                                     std::string& message) const {
  std::optional<std::filesystem::path> path =
      PathInsideFolders(LocalPath(stored_path), db_.Settings().attachment_folders);
  if (!path) {
    message = Cut(Concat({"Brak dostępu do pliku spoza folderów załączników: "_cp,
                          Quoted(stored_path), " (ustaw [Tramolin] AttachmentFolders)"}));
  } else if (!IsExistingFile(*path)) {
    message = Cut("Brak dostępu do pliku, lub plik nie istnieje: "_cp + Quoted(stored_path));
  } else if (const std::string failure = OpenFailure(*path); !failure.empty()) {
    message = Cut(Concat({"Brak dostępu do pliku: "_cp, Quoted(stored_path), " ", Trim(failure)}));
  } else {
    return path;
  }
  return std::nullopt;
}

bool TSchemaAdaptation::ReadLink(std::int32_t id, std::string& stored_path, std::string& message) {
  const std::string id_text = std::to_string(id);
  IBQSQL.SetSql("SELECT TYPZALACZNIKA, NAZWA FROM ZALACZNIKI WHERE ID = " + id_text);
  fb::ResultSet row = IBQSQL.Open();
  if (!row.Next()) {
    message = "Nie znaleziono załącznika o ID="_cp + id_text;
    return false;
  }
  const std::int64_t kind = row.GetInt(0);
  if (kind != kLinkedFile) {
    message = "Nieprawidłowy typu załącznika: "_cp + std::to_string(kind);
    return false;
  }
  stored_path = row.GetString(1);
  return true;
}

}  // namespace tramolin
