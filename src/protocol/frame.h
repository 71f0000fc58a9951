// Packet frames: building one from a type and a payload text, and reassembling the frames of a
// connection from whatever bytes arrive, however they are split or joined.
//
// Frame grammar (bytes):
//   frame   = type ";" length ";" encoded
//   type    = one raw byte, the packet type (1-11; 0x0A for 10)
//   length  = decimal ASCII digits, the number of characters of encoded
//   encoded = base64 without "=" of the zlib stream of CompressPayload (payload_codec.h)
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tramolin {

// The limit of a frame's encoded length and of a payload's decoded length, unless the reader
// is given another; a change batch carrying a large attachment stays below it.
inline constexpr std::size_t kDefaultFrameLimit = std::size_t{256} * 1024 * 1024;

// The limit before a connection has logged in: the largest packet a stranger has any reason to
// send is an authentication of a few hundred bytes.
inline constexpr std::size_t kPreLoginFrameLimit = std::size_t{64} * 1024;

// The complete frame of a packet. While the program is closing (closing = true) no packet is
// built: the result is an empty text, which the connection never writes.
std::string BuildPacket(std::uint8_t type, std::string_view payload, bool closing);

// The frame of a payload prepared on a worker, built there too so that the event loop only
// writes it; the payload goes with it.
std::string BuildPacketFrom(std::uint8_t type, std::string payload);

// Reassembles the frames of one connection. Feed it every chunk that arrives, then call Next
// until it reports kNeedMore. Bytes after a complete frame stay for the next one; nothing
// blocks or waits. After kOverflow the reader is spent: the connection is to be ended.
class FrameReader {
 public:
  enum class Status {
    kNeedMore,  // no complete frame yet
    kPacket,    // a frame was decoded: type and payload are set
    kCorrupt,   // a complete frame whose payload does not decode; only that frame is lost
    kOverflow,  // header not a decimal length, or a length above the limit
  };

  struct Result {
    Status status = Status::kNeedMore;
    std::uint8_t type = 0;
    std::string payload;
  };

  explicit FrameReader(std::size_t limit = kDefaultFrameLimit);

  void Feed(std::string_view bytes);
  Result Next();
  // Applies from the next frame whose header is read (a connection logging in, say).
  void SetLimit(std::size_t limit) { limit_ = limit; }

  // Bytes received but not yet taken as a frame.
  std::size_t Pending() const { return buffer_.size() - start_; }
  bool Overflowed() const { return overflowed_; }

 private:
  enum class HeaderState { kIncomplete, kParsed, kInvalid };

  HeaderState ParseHeader();
  Result TakeFrame();
  void Compact();

  std::size_t limit_;
  std::string buffer_;
  std::size_t start_ = 0;  // first byte of the current frame in buffer_
  // The header of the current frame once parsed: where its encoded text starts and how long it is.
  bool header_parsed_ = false;
  std::size_t encoded_offset_ = 0;
  std::size_t encoded_length_ = 0;
  bool overflowed_ = false;
};

}  // namespace tramolin
