// The copy's side of a table check the server runs between cycles: the digests of the table it
// asks about, read once per check and kept until the check is over, a cycle begins or the
// connection goes, and the answer to each step. Pure; the reading is the caller's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/digest_ranges.h"

namespace tramolin {

class TableCheckAnswers {
 public:
  // The table whose digests must be read before the step (a pkSprawdzenie payload) can be
  // answered; nullopt when they are here or the step needs none.
  std::optional<std::int32_t> TableToRead(std::string_view step) const;
  // The digests of the table, none when it could not be read (every step is then refused).
  void Read(std::int32_t table, std::optional<TDigestSet> digests);
  // The pkSprawdzenieOdp payload for the step; nullopt when nothing is to be sent (the end of the
  // check, or a payload that is no step).
  std::optional<std::string> Answer(std::string_view step);
  void Drop();

 private:
  std::optional<std::int32_t> table_;  // the table read, or tried
  std::optional<TDigestSet> digests_;
};

}  // namespace tramolin
