#include "engine/journal_walk.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "engine/key_set.h"
#include "engine/record.h"
#include "util/cp1250.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

// Records met per step of the walk; the change types of a step's records are read with one
// statement per table.
constexpr std::size_t kStep = kKeySetPlaces;

// With the number of the first entry: the walks of all levels start there, past the entries
// of the batch in flight, which are the oldest and would otherwise be read and passed over.
std::string TopPriorityText() {
  return Concat({"SELECT MAX(PRIORYTET), MIN(ID) FROM REPZMIANY WHERE ", kPickableEntries});
}
// Every level below the top one, read in one scan when the walk first leaves the top: a scan
// for each level would read all of the destination's entries again, and one for the entries
// without a priority as well, whether there are any or not.
std::string LowerLevelsText() {
  return Concat({"SELECT DISTINCT PRIORYTET FROM REPZMIANY WHERE ", kPickableEntries,
                 " AND (PRIORYTET<:PRIORYTET OR PRIORYTET IS NULL)\n"
                 "ORDER BY PRIORYTET DESC NULLS LAST"});
}
constexpr std::string_view kWithPriority = "PRIORYTET=:PRIORYTET";
// A descending order puts entries without a priority after all others.
constexpr std::string_view kWithoutPriority = "PRIORYTET IS NULL";

// Ordered by the primary key's index: read as far as the export goes, never sorted.
std::string EntriesText(std::string_view priority_condition) {
  return Concat(
      {"SELECT IDREKORDU, IDTABELI FROM REPZMIANY\n"
       "WHERE ",
       kPickableEntries, " AND ID>=:ODID AND ", priority_condition, "\nORDER BY ID"});
}

std::string ChangeTypesHead(std::string_view priority_condition) {
  return Concat(
      {"SELECT IDREKORDU, TYPZMIANY FROM REPZMIANY\nWHERE ", priority_condition, " AND "});
}

std::uint64_t RecordKey(std::int32_t table_number, std::int32_t record_id) {
  return (std::uint64_t{static_cast<std::uint32_t>(table_number)} << 32) |
         static_cast<std::uint32_t>(record_id);
}

struct ChangeTypes {
  std::int32_t largest = 0;
  std::int32_t smallest = 0;
};

}  // namespace

KeySetStatement PickableEntriesOfRecords(fb::Transaction& transaction, std::string_view head) {
  return KeySetStatement(transaction, Concat({head, "IDTRANSAKCJI<>:INFLIGHT AND "}),
                         "IDREPKOPIE=:IDREPKOPIE AND IDTABELI=:IDTABELI", "IDREKORDU");
}

void BindPickable(fb::Statement& statement, std::int32_t copy_number, std::int32_t in_flight) {
  statement.ParamByName("IDREPKOPIE").SetInt(copy_number);
  statement.ParamByName("INFLIGHT").SetInt(in_flight);
}

TJournalWalk::Level::Level(fb::Transaction& transaction, std::string_view priority_condition)
    : entries(transaction, EntriesText(priority_condition)),
      change_types(PickableEntriesOfRecords(transaction, ChangeTypesHead(priority_condition))) {}

TJournalWalk::TJournalWalk(fb::Transaction& transaction)
    : top_priority_(transaction, TopPriorityText()),
      lower_levels_(transaction, LowerLevelsText()),
      valued_(transaction, kWithPriority),
      unset_(transaction, kWithoutPriority) {}

void TJournalWalk::Start(std::int32_t copy_number, bool new_only, std::int32_t in_flight) {
  Stop();
  copy_number_ = copy_number;
  in_flight_ = in_flight;
  new_only_ = new_only;
  level_ = nullptr;
  priority_.reset();
  lower_.reset();
  passed_unkeyed_ = false;
  stage_ = Stage::kLevelToFind;
}

bool TJournalWalk::Next(JournalRow& row) {
  while (taken_ == ready_.size()) {
    ready_.clear();
    taken_ = 0;
    if (stage_ == Stage::kLevelToFind && !FindNextLevel()) stage_ = Stage::kEnded;
    if (stage_ == Stage::kEnded) return false;
    WalkStep();
  }
  row = ready_[taken_++];
  return true;
}

void TJournalWalk::Stop() {
  if (cursor_) cursor_->Close();
  cursor_.reset();
  ready_.clear();
  taken_ = 0;
  stage_ = Stage::kEnded;
}

// Opens the highest priority below the last one walked, then the entries without a priority;
// false after those.
bool TJournalWalk::FindNextLevel() {
  if (level_ == &unset_) return false;
  if (!priority_) {
    BindPickable(top_priority_, copy_number_, in_flight_);
    fb::ResultSet top = top_priority_.Open();
    if (!top.Next() || top.IsNull(1)) return false;  // no entry to pick
    const bool found = !top.IsNull(0);
    if (found) priority_ = static_cast<std::int32_t>(top.GetInt(0));
    first_entry_ = static_cast<std::int32_t>(top.GetInt(1));
    top.Close();
    OpenLevel(found ? valued_ : unset_);
    return true;
  }
  if (!lower_) lower_ = ReadLowerLevels();
  if (lower_->empty()) return false;
  const std::optional<std::int32_t> next = lower_->front();
  lower_->pop_front();
  if (next) priority_ = next;
  OpenLevel(next ? valued_ : unset_);
  return true;
}

std::deque<std::optional<std::int32_t>> TJournalWalk::ReadLowerLevels() {
  BindPickable(lower_levels_, copy_number_, in_flight_);
  lower_levels_.ParamByName("PRIORYTET").SetInt(*priority_);
  std::deque<std::optional<std::int32_t>> levels;
  fb::ResultSet rows = lower_levels_.Open();
  while (rows.Next()) {
    levels.push_back(rows.IsNull(0) ? std::nullopt
                                    : std::optional(static_cast<std::int32_t>(rows.GetInt(0))));
  }
  return levels;
}

void TJournalWalk::OpenLevel(Level& level) {
  level_ = &level;
  met_.clear();
  BindLevel(level.entries);
  level.entries.ParamByName("ODID").SetInt(first_entry_);
  cursor_.emplace(level.entries.Open());
  stage_ = Stage::kWalking;
}

void TJournalWalk::BindLevel(fb::Statement& statement) {
  BindPickable(statement, copy_number_, in_flight_);
  if (level_ == &valued_) statement.ParamByName("PRIORYTET").SetInt(*priority_);
}

// Walks on until kStep records not met before are found or the level's entries end.
void TJournalWalk::WalkStep() {
  std::vector<Met> met;
  while (met.size() < kStep) {
    if (!cursor_->Next()) {
      cursor_->Close();
      cursor_.reset();
      stage_ = Stage::kLevelToFind;
      break;
    }
    if (cursor_->IsNull(0) || cursor_->IsNull(1)) {
      passed_unkeyed_ = true;
      continue;
    }
    const Met record{static_cast<std::int32_t>(cursor_->GetInt(0)),
                     static_cast<std::int32_t>(cursor_->GetInt(1))};
    if (met_.insert(RecordKey(record.table_number, record.record_id)).second) {
      met.push_back(record);
    }
  }
  if (!met.empty()) ResolveChangeTypes(met);
}

// Turns the records met, in order, into rows with their change types.
void TJournalWalk::ResolveChangeTypes(const std::vector<Met>& met) {
  RecordsByTable by_table;
  for (const Met& record : met) by_table[record.table_number].push_back(record.record_id);
  std::unordered_map<std::uint64_t, ChangeTypes> types;
  for (const auto& [table_number, ids] : by_table) {
    fb::Statement& query = level_->change_types.Bind(ids);
    BindLevel(query);
    query.ParamByName("IDTABELI").SetInt(table_number);
    fb::ResultSet rows = query.Open();
    while (rows.Next()) {
      const auto type = static_cast<std::int32_t>(rows.GetInt(1));
      const auto [entry, first] = types.try_emplace(
          RecordKey(table_number, static_cast<std::int32_t>(rows.GetInt(0))), type, type);
      if (!first) {
        entry->second.largest = std::max(entry->second.largest, type);
        entry->second.smallest = std::min(entry->second.smallest, type);
      }
    }
  }
  for (const Met& record : met) {
    const auto found = types.find(RecordKey(record.table_number, record.record_id));
    // Both reads see the export's snapshot, so a record met has its entries.
    if (found == types.end()) {
      throw std::runtime_error(
          Concat({"Brak wpisów dziennika zmian rekordu "_cp, std::to_string(record.record_id),
                  " tabeli ", std::to_string(record.table_number)}));
    }
    if (new_only_ && found->second.smallest != kChangeInsert) continue;
    ready_.push_back({record.record_id, record.table_number, found->second.largest});
  }
}

}  // namespace tramolin
