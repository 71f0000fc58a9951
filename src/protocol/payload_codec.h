// Compression of a payload text into the zlib stream that travels in a packet, and back. The
// stream holds the text's length (32-bit little-endian) followed by the text itself.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tramolin {

// Raised by DecompressPayload when the data is not a valid stream or ends before the declared
// length. Its message is "error".
class CorruptPayloadError : public std::runtime_error {
 public:
  CorruptPayloadError();
};

// Raised by DecompressPayload when the declared length is above the caller's limit; nothing of
// that size is reserved.
class PayloadTooLargeError : public std::runtime_error {
 public:
  explicit PayloadTooLargeError(std::size_t declared);
};

// The zlib stream (window bits 15) of the four length bytes followed by text. Texts from 4 KiB on
// are compressed by libdeflate at level 6 (fast, and no larger than zlib's best); shorter ones by
// zlib at level 9 (memory level 8, default strategy), byte for byte what zlib gives. An empty
// text still gives a stream of its four zero bytes.
std::string CompressPayload(std::string_view text);

// The text held by a stream made by CompressPayload (any valid zlib stream of the same content
// works). Up to 1 KiB of content after the declared text, and bytes after the end of the stream,
// are ignored; the stream must be complete and its checksum right. Inflation never runs more than
// that 1 KiB past the declared text: a stream holding more is corrupt. Throws CorruptPayloadError
// or PayloadTooLargeError (declared length above max_length).
std::string DecompressPayload(std::string_view stream, std::size_t max_length);

}  // namespace tramolin
