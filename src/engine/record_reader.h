// Reading changed records from the database as record text, and the catalogue of DOUBLE
// PRECISION columns that decides how their values are read.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "engine/decimal_manager.h"
#include "engine/fb/statement.h"
#include "engine/key_set.h"
#include "engine/record.h"

namespace tramolin {

struct TTableInfo;

// A record that could not be read. The message names the record, how far the reading came and
// the cause: PrzygotujRekord(512,29,1){012345} "<database message>".
class RecordReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Fills the catalogue with every DOUBLE PRECISION column of the user tables. Runs on `tool`,
// whose transaction must be active; the transaction is left as it was.
void LoadDecimalFields(fb::Statement& tool, TDecimalManager& decimals);

// Adds the columns of a row read with RecordSelectText (or a select of the same columns) to the
// record's fields in their order, NULL ones as NULL fields; `trace` gets the name of each
// non-NULL column read. Throws whatever a column raises, UnsupportedColumnError included.
void ReadExportColumns(TRekord& record, const fb::ResultSet& row, const TDecimalInfo* decimals,
                       std::string& trace);

// Reads one record at a time through one statement bound to the export transaction. The
// statement is prepared again only when the table changes, so consecutive records of one table
// reuse it.
class TRecordReader {
 public:
  TRecordReader(fb::Transaction& get_data, TDecimalManager& decimals);

  // The record text of a journal entry: empty for a table number outside the catalogue and for
  // a record that no longer exists (a delete is the header alone, without reading). With
  // own_transaction the export transaction is started when inactive and committed at the end
  // (rolled back on an error); otherwise the caller's active transaction is used. NULL columns are
  // written as explicit NULLs only when asked. Every failure, a column of a type the text has no
  // code for included, raises RecordReadError.
  std::string PrzygotujRekord(std::int32_t record_id, std::int32_t table_number,
                              bool own_transaction, std::int32_t change_type,
                              NullColumns nulls = NullColumns::kLeftOut);

  // The statement text of the last record read (for tests of the reuse).
  const std::string& StatementText() const { return IBQGetData.Sql(); }

  fb::Transaction& Transaction() const { return IBTGetData; }
  TDecimalManager& Decimals() const { return decimals_; }

 private:
  bool ReadRecord(TRekord& record, std::string_view table, std::string_view key,
                  std::string& trace);

  fb::Transaction& IBTGetData;
  TDecimalManager& decimals_;
  fb::Statement IBQGetData;
};

// Reads the records of one table a set of keys at a time, in the export transaction, which must
// be active. One statement per table, prepared on first use and kept while the object lives, so
// keep the object for one export only: a prepared statement holds its table's metadata.
class TRecordSetReader {
 public:
  static constexpr std::size_t kMaxKeys = kKeySetPlaces;

  explicit TRecordSetReader(const TRecordReader& reader);

  // The records among `ids` (at most kMaxKeys) of a usable table that still exist, by key, with
  // the fields PrzygotujRekord would give them (NULL ones as NULL fields); change type left as
  // insert. Throws whatever the
  // database or a column raises; PrzygotujRekord reports such a record with its details.
  std::unordered_map<std::int32_t, TRekord> Read(std::int32_t table_number, const TTableInfo& table,
                                                 std::span<const std::int32_t> ids);

 private:
  KeySetStatement& StatementFor(std::int32_t table_number, const TTableInfo& table);

  fb::Transaction& transaction_;
  TDecimalManager& decimals_;
  std::map<std::int32_t, std::unique_ptr<KeySetStatement>> statements_;
};

}  // namespace tramolin
