// Named parameters (":NAME") of our SQL texts mapped to Firebird's positional "?" markers. The
// scanner skips string literals, quoted identifiers and comments, so ':' inside them stays text.
// A doubled colon is one colon of the text: "::X" is how a block's body names its variable X.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tramolin::fb {

struct PositionalSql {
  std::string text;                  // the statement with every ":NAME" replaced by "?"
  std::vector<std::string> markers;  // the name of each "?" in order, upper case
};

PositionalSql ToPositional(std::string_view sql);

// Names of parameters and columns compare without regard to case.
bool SameName(std::string_view a, std::string_view b);

}  // namespace tramolin::fb
