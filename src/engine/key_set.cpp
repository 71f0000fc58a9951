#include "engine/key_set.h"

#include <algorithm>

namespace tramolin {

std::string KeySetCondition(std::string_view column, std::size_t places) {
  std::string text(column);
  text.append(" BETWEEN :LOW AND :HIGH AND ").append(column).append(" IN (");
  for (std::size_t i = 0; i < places; ++i) {
    text.append(i == 0 ? ":K" : ",:K").append(std::to_string(i));
  }
  return text + ")";
}

void BindKeySet(fb::Statement& statement, std::size_t places, std::span<const std::int32_t> keys) {
  const std::size_t first = statement.ParamCount() - places - 2;
  const auto [low, high] = std::minmax_element(keys.begin(), keys.end());
  // An empty set: a range no key lies in.
  statement.ParamAt(first).SetInt(low == keys.end() ? 0 : *low);
  statement.ParamAt(first + 1).SetInt(high == keys.end() ? -1 : *high);
  for (std::size_t i = 0; i < places; ++i) {
    auto place = statement.ParamAt(first + 2 + i);
    if (i < keys.size()) {
      place.SetInt(keys[i]);
    } else {
      place.SetNull();
    }
  }
}

}  // namespace tramolin
