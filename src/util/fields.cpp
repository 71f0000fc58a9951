#include "util/fields.h"

#include <charconv>
#include <string>

#include "util/text_rules.h"

namespace tramolin {

ConversionError::ConversionError(std::string_view text)
    : std::runtime_error(Concat({"'", text, "' is not a valid integer value"})) {}

std::string_view NextField(std::string_view& text, char separator) {
  const std::size_t end = text.find(separator);
  const std::string_view field = text.substr(0, end);
  text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  return field;
}

int32_t NextIntField(std::string_view& text, char separator) {
  std::string_view rest = text;
  const int32_t value = ParseInt32(NextField(rest, separator));
  text = rest;
  return value;
}

int32_t ParseInt32(std::string_view text) {
  // from_chars takes a "-" but no "+"; a "+" is allowed only in front of digits.
  std::string_view number = text;
  if (number.starts_with('+') && number.size() > 1 && number[1] != '-') number.remove_prefix(1);
  int32_t value = 0;
  const char* const end = number.data() + number.size();
  const auto [stop, error] = std::from_chars(number.data(), end, value);
  if (number.empty() || error != std::errc() || stop != end) throw ConversionError(text);
  return value;
}

}  // namespace tramolin
