// The records pending for one destination in the export's order: priority from the highest,
// entries without a priority last, then the record's first entry; one row per record and
// priority, with the largest change type among those entries. These are the rows of the
// export's grouped select, found without grouping and sorting the whole journal on every export:
// the entries of one priority are walked in the order of their numbers, which needs no sort and
// stops when the export does, and the change types of the records met are read a set at a time.
// A long journal therefore costs each export only the records it takes, plus one scan for the
// top priority and, when it goes below that, one for all the lower ones.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "engine/change_batch.h"
#include "engine/fb/statement.h"
#include "engine/key_set.h"

namespace tramolin {

// The entries of one destination an export may pick: all but those of its batch in flight, sent
// and not yet confirmed (bound by BindPickable; kNoBatchInFlight picks every entry).
inline constexpr std::string_view kPickableEntries =
    "IDREPKOPIE=:IDREPKOPIE AND IDTRANSAKCJI<>:INFLIGHT";
void BindPickable(fb::Statement& statement, std::int32_t copy_number, std::int32_t in_flight);
// The pickable entries of a set of records of one table: `head` ends with "WHERE " or with
// "WHERE ... AND "; bind BindPickable and IDTABELI on the form Bind gives.
KeySetStatement PickableEntriesOfRecords(fb::Transaction& transaction, std::string_view head);

struct JournalRow {
  std::int32_t record_id = 0;
  std::int32_t table_number = 0;
  std::int32_t change_type = 0;
};

// Runs in the export transaction, which must be active from Start to Stop. The statements are
// prepared once and kept while the object lives.
class TJournalWalk {
 public:
  explicit TJournalWalk(fb::Transaction& transaction);

  // Starts over for `copy_number`; with new_only only records with an insert among their
  // entries of that priority. The entries marked `in_flight` are passed over.
  void Start(std::int32_t copy_number, bool new_only, std::int32_t in_flight = kNoBatchInFlight);
  // False after the last record.
  bool Next(JournalRow& row);
  // True when an entry without a record or table number was passed over: there is no record to
  // send for it, and it is not among the records walked.
  bool PassedUnkeyedEntries() const { return passed_unkeyed_; }
  // Closes the walk's cursor; call before writing to the journal in the same transaction.
  void Stop();

 private:
  enum class Stage { kLevelToFind, kWalking, kEnded };
  // The statements for the entries of one priority (PRIORYTET=:PRIORYTET) or of none.
  struct Level {
    Level(fb::Transaction& transaction, std::string_view priority_condition);
    fb::Statement entries;
    KeySetStatement change_types;
  };
  struct Met {
    std::int32_t record_id;
    std::int32_t table_number;
  };

  bool FindNextLevel();
  std::deque<std::optional<std::int32_t>> ReadLowerLevels();
  void OpenLevel(Level& level);
  void WalkStep();
  void ResolveChangeTypes(const std::vector<Met>& met);
  void BindLevel(fb::Statement& statement);

  fb::Statement top_priority_;
  fb::Statement lower_levels_;
  Level valued_;
  Level unset_;
  std::int32_t copy_number_ = 0;
  std::int32_t in_flight_ = kNoBatchInFlight;
  bool new_only_ = false;
  Stage stage_ = Stage::kEnded;
  Level* level_ = nullptr;                // the level walked
  std::optional<std::int32_t> priority_;  // the last priority walked
  std::int32_t first_entry_ = 0;          // the number of the first entry to pick
  // The levels below the top one, from the highest, an empty one standing for the entries
  // without a priority; read when first needed.
  std::optional<std::deque<std::optional<std::int32_t>>> lower_;
  std::optional<fb::ResultSet> cursor_;    // the level's entries by number
  std::unordered_set<std::uint64_t> met_;  // records already met on this level
  std::vector<JournalRow> ready_;          // rows found, in order, not yet taken
  std::size_t taken_ = 0;
  bool passed_unkeyed_ = false;
};

}  // namespace tramolin
