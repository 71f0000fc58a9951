// Byte counts as the window shows them: the number pattern "### ### ### ##0 b".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tramolin {

// Formats `value` by a number pattern: every '#' is a digit position left empty when the number
// has no digit there, every '0' a digit position that always shows a digit (from the first '0'
// on, leading zeros fill them), every other character is written where it stands, also before
// the first digit. Digits beyond the pattern's positions stand at its first position; a minus
// sign goes right before the first digit.
std::string FormatNumberPattern(std::int64_t value, std::string_view pattern);

// "### ### ### ##0 b": 0 gives "   0 b", 1234567 gives " 1 234 567 b".
std::string ByteCountText(std::int64_t bytes);

}  // namespace tramolin
