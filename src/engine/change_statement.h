// The statements the import builds for an incoming record, and the checks and id arithmetic it
// needs on the way: pure text work, plus a small cache that keeps their prepared forms alive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/record.h"
#include "engine/table_catalogue.h"

namespace tramolin {

namespace fb {
class Statement;
class Transaction;
}  // namespace fb

// The number of the database whose id range holds `id`: every database hands out ids from a
// range of 500,000 of its own above 10,000,000; ids up to 10,500,000 belong to the main database.
std::int32_t DatabaseNumberOfId(std::int64_t id);

// Letters, digits, "_" and "$", not starting with a digit: safe to put into a statement unquoted.
bool IsPlainIdentifier(std::string_view name);

// A column name of an incoming record that cannot go into a statement.
class ColumnNameError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws ColumnNameError for a field name that is no plain identifier or that repeats (letter
// case ignored, as SQL does). Linear in the number of fields.
void CheckColumnNames(const TRekord& record);

// A value of an incoming record that no column can hold.
class FieldValueError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws FieldValueError, naming the column, for a date and time (type code 3) that the database
// cannot store: outside the years 1 to 9999, or no number at all.
void CheckDayCounts(const TRekord& record);

// "SELECT <key> FROM <table> WHERE <key>=:ID".
std::string ExistenceQuery(const TTableInfo& table);

// Removes the sender's journal entries of one record (:IDREPKOPIE, :IDREKORDU, :IDTABELI); one
// row: USUNIETE, the entries removed, and OBCE, those of them other transactions had committed.
std::string DeleteEntriesBlock();

// The two questions a record of `table` raises before its change, in one statement, after the
// deletion of the sender's entries an earlier record may still owe (:USUWANY, :USUWANATABELA;
// NULL when none): one row of CZEKAJACE (the sender still has entries of the record :ID),
// ISTNIEJE (the record is in its table), USUNIETE and OBCE (as DeleteEntriesBlock gives them).
std::string RecordStateQuery(const TTableInfo& table);

// The statement that applies `record` as its change type says (empty for any other type and for
// an insert or update without fields). Only the columns the record carries are written: an insert
// leaves the others to their defaults, an update leaves them as they are. A field that is an
// explicit NULL is a parameter like any other, bound to NULL. The parameters are the record's
// fields in order, then, for an update whose record does not carry the key, the key.
std::string ChangeStatement(const TRekord& record, const TTableInfo& table);

// Binds the record's values to a statement made by ChangeStatement for it.
void BindChange(fb::Statement& statement, const TRekord& record, const TTableInfo& table);

// Prepared statements on one transaction by their text, so that records of a few shapes
// alternating in a batch do not prepare their statements again and again. Holds at most
// `capacity` statements; the one used longest ago makes room for a new text.
class StatementCache {
 public:
  StatementCache(fb::Transaction& transaction, std::size_t capacity);
  ~StatementCache();
  StatementCache(const StatementCache&) = delete;
  StatementCache& operator=(const StatementCache&) = delete;

  fb::Statement& Get(const std::string& sql);
  // Lets go of every prepared statement (before the tables' structure changes).
  void Clear();
  std::size_t size() const { return entries_.size(); }

 private:
  struct Entry {
    std::unique_ptr<fb::Statement> statement;
    std::uint64_t last_use = 0;
  };
  void EvictOldest();

  fb::Transaction& transaction_;
  std::size_t capacity_;
  std::uint64_t clock_ = 0;
  std::unordered_map<std::string, Entry> entries_;
};

}  // namespace tramolin
