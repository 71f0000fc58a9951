// Work that two kinds of incoming records ask for beyond being applied: an extra-column
// definition (POLADODATKOWE) adds or drops a USER<id> column of a host table, and an attachment
// request (REPDIALOG) stores a linked file's content inside the database.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "engine/fb/statement.h"
#include "engine/host_services.h"
#include "engine/record.h"

namespace tramolin {

class TDMDB;

// The table an extra column lives in, by the definition's LOKALIZACJA; empty outside 1-24.
std::string_view ExtraColumnTable(std::int32_t location);
// The column's SQL type, by the definition's TYP; empty for an index without a type.
std::string_view ExtraColumnType(std::int32_t type);

// Lives as long as its statements may: destroy it before the TDMDB it was made for.
class TSchemaAdaptation {
 public:
  TSchemaAdaptation(TDMDB& db, HostServices& host);
  ~TSchemaAdaptation();
  TSchemaAdaptation(const TSchemaAdaptation&) = delete;
  TSchemaAdaptation& operator=(const TSchemaAdaptation&) = delete;

  // After an extra-column definition was applied with `change_type` (after the import's
  // conversions): adds its column (insert, not deleted) or drops it (update, deleted), with the
  // level-7 PDNEW/PDDEL line behind `log_prefix`; any other combination changes nothing. The
  // change is committed at once in the tool transaction. Throws std::runtime_error on failure.
  void AdaptExtraColumn(const TRekord& definition, std::int32_t change_type,
                        std::string_view log_prefix);

  // ALTER TABLE ... ADD / DROP unless the column already exists / is already gone. Blank names or
  // type do nothing. Throw std::runtime_error with the database's message on failure.
  void DodajPole(std::string_view table, std::string_view column, std::string_view type);
  void UsunPole(std::string_view table, std::string_view column);

  // Stores the linked file of attachment `id` inside the database: result 1 (done) or 2 (failed,
  // with the reason in `message`, at most 250 characters). Only a file inside the settings'
  // attachment folders is read; any other is refused unread. Never throws.
  void ImportAttachment(std::int32_t id, std::int32_t& result, std::string& message);

 private:
  // In the tool transaction, committed at once: runs alter_sql when the column is missing (add)
  // or present (drop).
  void ChangeColumn(std::string_view table, std::string_view column, bool add,
                    std::string_view alter_sql);
  // The steps of ImportAttachment inside IBTSQL: false with the reason in `message` when the
  // attachment cannot be stored; throws on database and read errors.
  bool StoreLinkedFile(std::int32_t id, std::string& message);
  // The linked file resolved, when it may be read and can be; otherwise nullopt with the reason.
  std::optional<std::filesystem::path> ReadableFile(const std::string& stored_path,
                                                    std::string& message) const;
  bool ReadLink(std::int32_t id, std::string& stored_path, std::string& message);

  TDMDB& db_;
  HostServices& host_;
  fb::Statement IBQSQL;  // on IBTSQL, its text set per step
};

}  // namespace tramolin
