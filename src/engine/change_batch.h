// What an export counts and produces for one destination.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tramolin {

struct ChangeCounts {
  std::int32_t all = 0;        // journal entries for the destination
  std::int32_t new_count = 0;  // those of them that are inserts
};

// What one export produced. `transaction_number` is what the exported entries now carry; the
// caller keeps it until the destination confirms the import.
struct PreparedChanges {
  std::string payload;     // "count;total;" and the record texts
  std::int32_t total = 0;  // entries pending when the export counted them
  std::int32_t count = 0;  // journal rows (records, not entries) processed
  std::int32_t transaction_number = 0;
};

// The payload stops after the record that takes it beyond this many characters.
inline constexpr std::size_t kPayloadLimit = 1000000;

}  // namespace tramolin
