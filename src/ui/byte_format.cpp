#include "ui/byte_format.h"

#include <algorithm>
#include <cstddef>

namespace tramolin {
namespace {

bool IsDigitPosition(char c) { return c == '#' || c == '0'; }

// The magnitude's digits, "" for 0 (the pattern's '0' positions supply a zero).
std::string MagnitudeDigits(std::int64_t value) {
  auto magnitude = static_cast<std::uint64_t>(value);
  if (value < 0) magnitude = ~magnitude + 1;  // also right for the lowest value
  std::string digits;
  for (; magnitude != 0; magnitude /= 10) digits.insert(digits.begin(), char('0' + magnitude % 10));
  return digits;
}

}  // namespace

std::string FormatNumberPattern(std::int64_t value, std::string_view pattern) {
  const auto positions =
      static_cast<std::ptrdiff_t>(std::count_if(pattern.begin(), pattern.end(), IsDigitPosition));
  std::ptrdiff_t always_shown = 0;
  if (const auto first_zero = pattern.find('0'); first_zero != std::string_view::npos) {
    always_shown = std::count_if(pattern.begin() + static_cast<std::ptrdiff_t>(first_zero),
                                 pattern.end(), IsDigitPosition);
  }
  std::string digits = MagnitudeDigits(value);
  const auto shown = std::max(static_cast<std::ptrdiff_t>(digits.size()), always_shown);
  digits.insert(0, static_cast<std::size_t>(shown) - digits.size(), '0');

  // Positions before `first` stay empty; the one at `first` takes every digit that has no
  // position of its own.
  const std::ptrdiff_t first = std::max<std::ptrdiff_t>(positions - shown, 0);
  const std::ptrdiff_t overflow = std::max<std::ptrdiff_t>(shown - positions, 0);
  std::string text;
  std::ptrdiff_t position = 0;
  for (const char c : pattern) {
    if (!IsDigitPosition(c)) {
      text += c;
      continue;
    }
    if (position == first && !digits.empty()) {
      if (value < 0) text += '-';
      text.append(digits, 0, static_cast<std::size_t>(overflow + 1));
    } else if (position > first) {
      text += digits[static_cast<std::size_t>(position - first + overflow)];
    }
    ++position;
  }
  return text;
}

std::string ByteCountText(std::int64_t bytes) {
  return FormatNumberPattern(bytes, "### ### ### ##0 b");
}

}  // namespace tramolin
