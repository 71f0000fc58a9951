// A set of integer keys picked out of an index: "<column> BETWEEN :LOW AND :HIGH AND <column> IN
// (:K0, ..., :Kn)". The range lets the engine read the index as one range; the list picks the
// keys out of it. Statements keep a fixed number of places, unused ones bound to NULL, so that
// one prepared form serves every set.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "engine/fb/statement.h"

namespace tramolin {

// Places in one statement's key list. The engine compares each row it reads with every place of
// the list, so short lists do better, until the cost of each execution takes over; measured on
// the export of a long journal, 8 to 16 places did best and 128 took twice as long.
inline constexpr std::size_t kKeySetPlaces = 16;

std::string KeySetCondition(std::string_view column, std::size_t places);

// Binds the keys (at most `places`) and their range. The key set's parameters (LOW, HIGH and
// the places) are the statement's last.
void BindKeySet(fb::Statement& statement, std::size_t places, std::span<const std::int32_t> keys);

}  // namespace tramolin
