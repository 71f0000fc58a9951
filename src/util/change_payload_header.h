// The header of a change payload, "count;total;" in front of the record texts: written by the
// export that prepares a batch, read by whoever receives it before the records go to the import.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tramolin {

struct ChangePayloadHeader {
  std::int32_t count = 0;  // records in the batch; 0 says the sender has nothing more
  std::int32_t total = 0;  // journal entries pending for the receiver when the sender counted
};

// "count;total;".
std::string ChangePayloadHeaderText(const ChangePayloadHeader& header);

// Puts the header in front of the record texts.
void PrependChangePayloadHeader(std::string& payload, const ChangePayloadHeader& header);

// Cuts both fields off the front, leaving the record texts. Never throws: a field that is missing
// or not a 32-bit integer reads as 0, so a garbled count ends the sender's changes.
ChangePayloadHeader CutChangePayloadHeader(std::string_view& payload);

}  // namespace tramolin
