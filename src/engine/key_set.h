// A set of integer keys picked out of an index by one statement prepared in two forms:
// - keys lying close together: "<leading> AND <column> BETWEEN :LOW AND :HIGH AND <column> IN
//   (:K0, ..., :Kn)", where the engine reads the index as one range and the list picks the keys
//   out of it;
// - keys far apart: "((<leading> AND <column>=:K0) OR ... OR (<leading> AND <column>=:Kn))",
//   where it looks each key up and reads nothing else. A range around keys far apart would read
//   every entry between them: records changed here and there in a table, or sent by many copies
//   at once, each copy with ids of its own range. The conditions on the index's leading columns
//   go into each key's lookup and nowhere else in this form: given outside as well, they make the
//   engine read every entry they match instead.
// Statements keep a fixed number of places, the unused ones bound to a key of the set (a key
// read twice comes back once), so that one prepared form serves every set.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/fb/statement.h"

namespace tramolin {

// Places in one statement's key list. The engine compares each row it reads with every place of
// the list, so short lists do better, until the cost of each execution takes over; measured on
// the export of a long journal, 8 to 16 places did best and 128 took twice as long.
inline constexpr std::size_t kKeySetPlaces = 16;

// Record ids by table number: the keys of a table go to a statement of their own.
using RecordsByTable = std::map<std::int32_t, std::vector<std::int32_t>>;

// Hands `each` the keys in runs of at most `places`, one statement's worth at a time.
template <typename Each>
void ForEachKeyRun(std::span<const std::int32_t> keys, Each each,
                   std::size_t places = kKeySetPlaces) {
  for (std::size_t first = 0; first < keys.size(); first += places) {
    each(keys.subspan(first, std::min(keys.size() - first, places)));
  }
}

// True when the keys span fewer than two values per place: reading the range between them costs
// no more than looking each one up.
bool KeysLieClose(std::span<const std::int32_t> keys, std::size_t places);

class KeySetStatement {
 public:
  // `head` is the statement up to its key condition ("SELECT ... WHERE ... AND "); `leading`
  // holds the conditions on the columns of the index before `column`, or nothing.
  KeySetStatement(fb::Transaction& transaction, std::string_view head, std::string_view leading,
                  std::string_view column, std::size_t places = kKeySetPlaces);

  // The form that suits the keys, with them bound; the caller binds the statement's other
  // parameters on it. More keys than `places` are refused (std::invalid_argument).
  fb::Statement& Bind(std::span<const std::int32_t> keys);

 private:
  std::size_t places_;
  fb::Statement close_;
  fb::Statement apart_;
};

}  // namespace tramolin
