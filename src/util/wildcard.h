// Whole-text matching against a mask: "*" any run, "?" one character, "[a-z]" one character of a
// set, "[!...]" one character outside it. Letters compare without regard to case (code page 1250).
#pragma once

#include <stdexcept>
#include <string_view>

namespace tramolin {

// "'<mask>' is an invalid mask at (<position>)"; the position counts from 1.
class InvalidMaskError : public std::runtime_error {
 public:
  InvalidMaskError(std::string_view mask, int position);
};

// Throws InvalidMaskError for a set without its "]", a set beginning with "-", or more than 30
// "*". Time grows with text length times mask length at worst, never exponentially.
bool MatchesWildcard(std::string_view text, std::string_view mask);

}  // namespace tramolin
