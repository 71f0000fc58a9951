// Mending a copy that a comparison found different from the main database, by the ordinary path:
// journal entries for the copy make its next synchronisation send the main database's version of
// each record, and the conflict rules apply to them as to any other change. Nothing is written
// on the copy.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace tramolin {

class TDMDB;

struct RepairOrder {
  std::int32_t copy = 0;
  std::int32_t table = 0;              // the journal's table number
  std::vector<std::int32_t> resend;    // records the main database has: an update entry each
  std::vector<std::int32_t> withdraw;  // records only the copy has: a delete entry each
};

// Writes the order's entries in one transaction: all of them, or (on a failure) none. The number
// of entries written; nullopt when the database cannot be reached or the insert fails.
std::optional<std::int32_t> JournalRepair(TDMDB& db, const RepairOrder& order);

}  // namespace tramolin
