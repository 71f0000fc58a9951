// Feeds arbitrary bytes to everything that reads data from a peer: frame reassembly over any
// split of the bytes, the base64 and zlib decoders, and every payload parser. A built packet
// must also come back unchanged through the reader.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "protocol/base64.h"
#include "protocol/frame.h"
#include "protocol/payload_codec.h"
#include "protocol/payloads.h"
#include "util/fields.h"

namespace {

using tramolin::FrameReader;

constexpr std::size_t kFuzzLimit = 1 << 20;

void Check(bool condition) {
  if (!condition) std::abort();
}

// Splits the bytes into chunks whose sizes come from the first byte, as a network might; its
// highest bit picks the limit of a stranger before login instead of a logged-in peer's.
void ReassembleInChunks(std::string_view bytes) {
  if (bytes.empty()) return;
  const auto first = static_cast<unsigned char>(bytes[0]);
  const std::size_t step = 1 + first % 64;
  const std::size_t limit = (first & 0x80) != 0 ? tramolin::kPreLoginFrameLimit : kFuzzLimit;
  FrameReader reader(limit);
  for (std::size_t pos = 1; pos < bytes.size(); pos += step) {
    reader.Feed(bytes.substr(pos, step));
    for (FrameReader::Result result = reader.Next();
         result.status != FrameReader::Status::kNeedMore &&
         result.status != FrameReader::Status::kOverflow;
         result = reader.Next()) {
      Check(result.payload.size() <= limit);
    }
  }
}

void Decode(std::string_view bytes) {
  try {
    const std::string text = tramolin::DecompressPayload(tramolin::Base64Decode(bytes), kFuzzLimit);
    Check(text.size() <= kFuzzLimit);
  } catch (const tramolin::CorruptPayloadError&) {
  } catch (const tramolin::PayloadTooLargeError&) {
  }
  try {
    tramolin::DecompressPayload(bytes, kFuzzLimit);
  } catch (const tramolin::CorruptPayloadError&) {
  } catch (const tramolin::PayloadTooLargeError&) {
  }
}

void ParsePayloads(std::string_view payload) {
  tramolin::ParseConnectionResult(payload);
  tramolin::ParseVerificationResult(payload);
  tramolin::ParsePendingChanges(payload);
  tramolin::ParseConfirmation(payload);
  const tramolin::ChangeBatch batch = tramolin::ParseChangeBatch(payload);
  Check(batch.records.size() <= payload.size());
  tramolin::ParseErrorReport(payload);
  tramolin::ParseCommand(payload);
  tramolin::ParseCommandReply(payload);
  tramolin::TAUTHData data;
  try {
    tramolin::ParseAuthData(payload, data);
  } catch (const tramolin::ConversionError&) {
    Check(!data.Serwisant);
  }
}

void RoundTrip(std::string_view payload) {
  const std::uint8_t type = payload.empty() ? 1 : static_cast<std::uint8_t>(payload[0]);
  FrameReader reader(kFuzzLimit * 2);
  reader.Feed(tramolin::BuildPacket(type, payload, false));
  const FrameReader::Result result = reader.Next();
  Check(result.status == FrameReader::Status::kPacket);
  Check(result.type == type && result.payload == payload);
  Check(reader.Next().status == FrameReader::Status::kNeedMore);
  Check(tramolin::Base64Decode(tramolin::Base64Encode(payload)) == payload);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  ReassembleInChunks(bytes);
  Decode(bytes);
  ParsePayloads(bytes);
  if (size <= 4096) RoundTrip(bytes);
  return 0;
}
