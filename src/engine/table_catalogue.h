// The replicated tables by their number in the change journal (IDTABELI). The host database's
// journal triggers write the same numbers, so the numbering is part of the record format.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tramolin {

struct TTableInfo {
  std::string_view name;
  std::string_view key_column;
  std::string_view event_name;         // passed to the host's EVENT procedure after an import
  bool commit_each = false;            // the import commits around each record, tolerates failures
  std::int32_t lock_object_type = -1;  // TYPOBIEKTU in BLOKADY, -1 when never locked
  std::string_view lock_id_column;     // empty: the locked object is the record itself
  bool log_conflicts = false;

  constexpr bool IsUsable() const { return !name.empty() && !key_column.empty(); }
};

inline constexpr int kTableCount = 137;

// The whole catalogue, indexed by table number.
const std::array<TTableInfo, kTableCount>& TableCatalogue();

// The entry of a journal table number; nullptr outside 0..136.
const TTableInfo* TableInfo(std::int32_t table_number);

// The number of a table name (letter case ignored); nullopt for a table not replicated.
std::optional<std::int32_t> TableNumber(std::string_view table_name);

}  // namespace tramolin
