#include "engine/key_set.h"

#include <algorithm>
#include <stdexcept>

namespace tramolin {
namespace {

std::string Places(std::size_t places, std::string_view before, std::string_view separator) {
  std::string text;
  for (std::size_t i = 0; i < places; ++i) {
    text.append(i == 0 ? "" : separator).append(before).append(":K").append(std::to_string(i));
  }
  return text;
}

std::string CloseForm(std::string_view head, std::string_view leading, std::string_view column,
                      std::size_t places) {
  std::string text(head);
  if (!leading.empty()) text.append(leading).append(" AND ");
  text.append(column).append(" BETWEEN :LOW AND :HIGH AND ").append(column).append(" IN (");
  return text + Places(places, "", ",") + ")";
}

std::string ApartForm(std::string_view head, std::string_view leading, std::string_view column,
                      std::size_t places) {
  std::string lookup = "(";
  if (!leading.empty()) lookup.append(leading).append(" AND ");
  lookup.append(column).append("=");
  std::string text = Places(places, lookup, ") OR ");
  return std::string(head) + "(" + text + "))";
}

// Binds the places, the statement's last parameters.
void BindPlaces(fb::Statement& statement, std::size_t places, std::span<const std::int32_t> keys) {
  const std::size_t first = statement.ParamCount() - places;
  for (std::size_t i = 0; i < places; ++i) {
    auto place = statement.ParamAt(first + i);
    if (i < keys.size()) {
      place.SetInt(keys[i]);
    } else if (keys.empty()) {
      place.SetNull();  // an empty set: no key is equal to NULL
    } else {
      place.SetInt(keys.front());
    }
  }
}

}  // namespace

bool KeysLieClose(std::span<const std::int32_t> keys, std::size_t places) {
  if (keys.empty()) return true;
  const auto [low, high] = std::minmax_element(keys.begin(), keys.end());
  return std::int64_t{*high} - *low < static_cast<std::int64_t>(2 * places);
}

KeySetStatement::KeySetStatement(fb::Transaction& transaction, std::string_view head,
                                 std::string_view leading, std::string_view column,
                                 std::size_t places)
    : places_(places),
      close_(transaction, CloseForm(head, leading, column, places)),
      apart_(transaction, ApartForm(head, leading, column, places)) {}

fb::Statement& KeySetStatement::Bind(std::span<const std::int32_t> keys) {
  if (keys.size() > places_) throw std::invalid_argument("More keys than the statement's places");
  if (!KeysLieClose(keys, places_)) {
    BindPlaces(apart_, places_, keys);
    return apart_;
  }
  BindPlaces(close_, places_, keys);
  const std::size_t first = close_.ParamCount() - places_ - 2;
  const auto [low, high] = std::minmax_element(keys.begin(), keys.end());
  // An empty set: a range no key lies in.
  close_.ParamAt(first).SetInt(low == keys.end() ? 0 : *low);
  close_.ParamAt(first + 1).SetInt(high == keys.end() ? -1 : *high);
  return close_;
}

}  // namespace tramolin
