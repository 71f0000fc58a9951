#include "protocol/payload_codec.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>

namespace tramolin {
namespace {

constexpr int kCompressionLevel = 9;
// libdeflate's level 6 gives streams no larger than zlib's level 9, several times faster.
constexpr int kFastCompressionLevel = 6;
// Below this many bytes libdeflate writes a stored block, longer than zlib's; at that size zlib's
// level 9 costs nothing, and short control packets keep the bytes every peer has always sent.
constexpr std::size_t kFastCompressionFrom = 4096;
constexpr int kWindowBits = 15;
constexpr int kMemoryLevel = 8;
constexpr std::size_t kLengthBytes = 4;
constexpr std::size_t kGrowthStep = std::size_t{64} * 1024;
// Deflate cannot expand its input more than about 1032 times; a stream declaring more text than
// this bound allows is corrupt, whatever it claims, so no memory is taken for it.
constexpr std::size_t kMaxExpansion = 1040;
constexpr std::size_t kExpansionSlack = 1024;
// Content a stream may carry after its declared text and still count as whole; beyond it the
// inflation stops and the stream is corrupt.
constexpr std::size_t kTrailingContentBudget = 1024;

std::array<unsigned char, kLengthBytes> LengthBytes(std::size_t length) {
  const auto value = static_cast<std::uint32_t>(length);
  return {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
          static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
}

std::int32_t LengthFromBytes(const std::array<unsigned char, kLengthBytes>& bytes) {
  const std::uint32_t value = std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8) |
                              (std::uint32_t{bytes[2]} << 16) | (std::uint32_t{bytes[3]} << 24);
  return static_cast<std::int32_t>(value);
}

unsigned char* Bytes(std::string_view text) {
  // zlib's input pointer is not const-qualified; it never writes through it.
  return reinterpret_cast<unsigned char*>(const_cast<char*>(text.data()));
}

// One zlib deflate stream, ended when the object goes away.
class Deflater {
 public:
  Deflater() {
    if (deflateInit2(&stream_, kCompressionLevel, Z_DEFLATED, kWindowBits, kMemoryLevel,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
      throw std::runtime_error("zlib deflateInit2 failed");
    }
  }
  ~Deflater() { deflateEnd(&stream_); }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  // Compresses input into out; flush is Z_NO_FLUSH or Z_FINISH.
  void Feed(const unsigned char* input, std::size_t size, int flush, std::string& out) {
    stream_.next_in = const_cast<unsigned char*>(input);
    stream_.avail_in = static_cast<uInt>(size);
    int result = Z_OK;
    do {
      const std::size_t used = out.size();
      out.resize(used + std::max(kGrowthStep, size / 4));
      stream_.next_out = reinterpret_cast<unsigned char*>(out.data() + used);
      stream_.avail_out = static_cast<uInt>(out.size() - used);
      result = deflate(&stream_, flush);
      out.resize(out.size() - stream_.avail_out);
    } while (stream_.avail_in > 0 || (flush == Z_FINISH && result != Z_STREAM_END));
  }

 private:
  z_stream stream_{};
};

struct CompressorDeleter {
  void operator()(libdeflate_compressor* compressor) const {
    libdeflate_free_compressor(compressor);
  }
};

// The zlib stream of `content` (the length bytes and the text, already joined) by libdeflate.
std::string FastZlibStream(std::string_view content) {
  const std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(
      libdeflate_alloc_compressor(kFastCompressionLevel));
  if (compressor == nullptr) throw std::bad_alloc();
  std::string out(libdeflate_zlib_compress_bound(compressor.get(), content.size()), '\0');
  const std::size_t size = libdeflate_zlib_compress(compressor.get(), content.data(),
                                                    content.size(), out.data(), out.size());
  if (size == 0) throw std::runtime_error("libdeflate_zlib_compress failed");
  out.resize(size);
  return out;
}

std::string FastCompress(std::string_view text) {
  const auto length = LengthBytes(text.size());
  std::string content(length.size() + text.size(), '\0');
  std::memcpy(content.data(), length.data(), length.size());
  std::memcpy(content.data() + length.size(), text.data(), text.size());
  return FastZlibStream(content);
}

std::string ZlibCompress(std::string_view text) {
  std::string out;
  out.reserve(text.size() / 4 + kGrowthStep);
  Deflater deflater;
  const auto length = LengthBytes(text.size());
  deflater.Feed(length.data(), length.size(), Z_NO_FLUSH, out);
  deflater.Feed(Bytes(text), text.size(), Z_FINISH, out);
  return out;
}

// One zlib inflate stream over a fixed input, ended when the object goes away.
class Inflater {
 public:
  explicit Inflater(std::string_view input) {
    stream_.next_in = Bytes(input);
    stream_.avail_in = static_cast<uInt>(input.size());
    if (inflateInit2(&stream_, kWindowBits) != Z_OK) throw CorruptPayloadError();
  }
  ~Inflater() { inflateEnd(&stream_); }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  // Fills out[0, size) completely or throws CorruptPayloadError.
  void ReadExactly(unsigned char* out, std::size_t size) {
    stream_.next_out = out;
    stream_.avail_out = static_cast<uInt>(size);
    while (stream_.avail_out > 0) {
      const int result = inflate(&stream_, Z_NO_FLUSH);
      if (result == Z_STREAM_END && stream_.avail_out > 0) throw CorruptPayloadError();
      if (result != Z_OK && result != Z_STREAM_END) throw CorruptPayloadError();
    }
  }

  // Reads what is left of the stream up to its end, which checks the Adler-32 trailer. A stream
  // that still inflates to more than `budget` bytes is corrupt: nothing is gained by inflating it
  // further, and a small frame could otherwise keep the program busy for gigabytes of output.
  void SkipToEnd(std::size_t budget) {
    std::array<unsigned char, std::size_t{16} * 1024> scratch{};
    for (;;) {
      const std::size_t step = std::min(scratch.size(), budget + 1);
      stream_.next_out = scratch.data();
      stream_.avail_out = static_cast<uInt>(step);
      const int result = inflate(&stream_, Z_NO_FLUSH);
      const std::size_t produced = step - stream_.avail_out;
      if (produced > budget) throw CorruptPayloadError();
      budget -= produced;
      if (result == Z_STREAM_END) return;
      if (result != Z_OK) throw CorruptPayloadError();
    }
  }

 private:
  z_stream stream_{};
};

}  // namespace

CorruptPayloadError::CorruptPayloadError() : std::runtime_error("error") {}

PayloadTooLargeError::PayloadTooLargeError(std::size_t declared)
    : std::runtime_error("payload of " + std::to_string(declared) + " bytes is above the limit") {}

std::string CompressPayload(std::string_view text) {
  if (text.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw std::length_error("payload too long for a packet");
  }
  return text.size() < kFastCompressionFrom ? ZlibCompress(text) : FastCompress(text);
}

std::string DecompressPayload(std::string_view stream, std::size_t max_length) {
  if (stream.size() > std::numeric_limits<uInt>::max()) throw CorruptPayloadError();
  Inflater inflater(stream);
  std::array<unsigned char, kLengthBytes> length_bytes{};
  inflater.ReadExactly(length_bytes.data(), length_bytes.size());
  const std::int32_t declared = LengthFromBytes(length_bytes);
  if (declared < 0) throw CorruptPayloadError();
  const auto length = static_cast<std::size_t>(declared);
  if (length > max_length) throw PayloadTooLargeError(length);
  if (length > stream.size() * kMaxExpansion + kExpansionSlack) throw CorruptPayloadError();
  std::string text(length, '\0');
  inflater.ReadExactly(reinterpret_cast<unsigned char*>(text.data()), text.size());
  inflater.SkipToEnd(kTrailingContentBudget);
  return text;
}

}  // namespace tramolin
