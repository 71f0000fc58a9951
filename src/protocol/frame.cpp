#include "protocol/frame.h"

#include "protocol/base64.h"
#include "protocol/payload_codec.h"

namespace tramolin {
namespace {

constexpr char kSeparator = ';';
// Digits enough for any 32-bit length; a longer run without a separator is not a length.
constexpr std::size_t kMaxLengthDigits = 10;
// The buffer drops its consumed front once that front is this large and more than half of it.
constexpr std::size_t kCompactThreshold = std::size_t{64} * 1024;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string BuildPacket(std::uint8_t type, std::string_view payload, bool closing) {
  if (closing) return {};
  const std::string encoded = Base64Encode(CompressPayload(payload));
  std::string frame;
  frame.reserve(encoded.size() + 2 + kMaxLengthDigits + 1);
  frame.push_back(static_cast<char>(type));
  frame.push_back(kSeparator);
  frame += std::to_string(encoded.size());
  frame.push_back(kSeparator);
  frame += encoded;
  return frame;
}

std::string BuildPacketFrom(std::uint8_t type, std::string payload) {
  return BuildPacket(type, payload, false);
}

FrameReader::FrameReader(std::size_t limit) : limit_(limit) {}

void FrameReader::Feed(std::string_view bytes) {
  if (overflowed_) return;
  buffer_.append(bytes);
}

FrameReader::Result FrameReader::Next() {
  if (overflowed_) return {Status::kOverflow, 0, {}};
  if (!header_parsed_) {
    const HeaderState state = ParseHeader();
    if (state == HeaderState::kIncomplete) return {};
    if (state == HeaderState::kInvalid) {
      overflowed_ = true;
      buffer_.clear();
      start_ = 0;
      return {Status::kOverflow, 0, {}};
    }
  }
  if (buffer_.size() - encoded_offset_ < encoded_length_) return {};
  return TakeFrame();
}

// Reads "type;digits;" at start_. Invalid as soon as a byte breaks the grammar, the digits run
// too long, or the length is above the limit.
FrameReader::HeaderState FrameReader::ParseHeader() {
  const std::string_view rest = std::string_view(buffer_).substr(start_);
  if (rest.size() < 2) return HeaderState::kIncomplete;
  if (rest[1] != kSeparator) return HeaderState::kInvalid;
  std::size_t length = 0;
  for (std::size_t i = 2; i < rest.size(); ++i) {
    const std::size_t digits = i - 2;
    if (rest[i] == kSeparator) {
      if (digits == 0) return HeaderState::kInvalid;
      header_parsed_ = true;
      encoded_offset_ = start_ + i + 1;
      encoded_length_ = length;
      return HeaderState::kParsed;
    }
    if (!IsDigit(rest[i]) || digits == kMaxLengthDigits) return HeaderState::kInvalid;
    length = length * 10 + static_cast<std::size_t>(rest[i] - '0');
    if (length > limit_) return HeaderState::kInvalid;
  }
  return HeaderState::kIncomplete;
}

FrameReader::Result FrameReader::TakeFrame() {
  Result result;
  result.type = static_cast<std::uint8_t>(buffer_[start_]);
  const std::string_view encoded =
      std::string_view(buffer_).substr(encoded_offset_, encoded_length_);
  try {
    result.payload = DecompressPayload(Base64Decode(encoded), limit_);
    result.status = Status::kPacket;
  } catch (const CorruptPayloadError&) {
    result.status = Status::kCorrupt;
  } catch (const PayloadTooLargeError&) {
    overflowed_ = true;
    result.status = Status::kOverflow;
  }
  start_ = encoded_offset_ + encoded_length_;
  header_parsed_ = false;
  Compact();
  return result;
}

void FrameReader::Compact() {
  if (overflowed_ || start_ == buffer_.size()) {
    buffer_.clear();
    start_ = 0;
  } else if (start_ >= kCompactThreshold && start_ * 2 >= buffer_.size()) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
}

}  // namespace tramolin
