#include "util/change_payload_header.h"

#include "util/fields.h"

namespace tramolin {
namespace {

// The next field as an integer, 0 when it is missing or not one; cut off either way.
std::int32_t CutCountField(std::string_view& payload) {
  const std::string_view field = NextField(payload);
  try {
    return ParseInt32(field);
  } catch (const ConversionError&) {
    return 0;
  }
}

}  // namespace

std::string ChangePayloadHeaderText(const ChangePayloadHeader& header) {
  std::string text = std::to_string(header.count);
  text.push_back(';');
  text += std::to_string(header.total);
  text.push_back(';');
  return text;
}

void PrependChangePayloadHeader(std::string& payload, const ChangePayloadHeader& header) {
  payload.insert(0, ChangePayloadHeaderText(header));
}

ChangePayloadHeader CutChangePayloadHeader(std::string_view& payload) {
  ChangePayloadHeader header;
  header.count = CutCountField(payload);
  header.total = CutCountField(payload);
  return header;
}

}  // namespace tramolin
