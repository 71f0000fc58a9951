#include "attack_frames.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "protocol/base64.h"
#include "protocol/frame.h"
#include "protocol/packet_types.h"
#include "protocol/payloads.h"

namespace tramolin::bench {
namespace {

constexpr std::size_t kZeroChunk = std::size_t{1} << 20;
constexpr std::size_t kLengthBytes = 4;  // the payload's declared length, here 0

// A zlib stream at level 9 (window bits 15, memory level 8) fed chunk by chunk.
class LevelNineDeflater {
 public:
  LevelNineDeflater() {
    if (deflateInit2(&stream_, 9, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
      throw std::runtime_error("deflateInit2 failed");
    }
  }
  ~LevelNineDeflater() { deflateEnd(&stream_); }
  LevelNineDeflater(const LevelNineDeflater&) = delete;
  LevelNineDeflater& operator=(const LevelNineDeflater&) = delete;

  void Feed(const std::string& input, std::size_t size, bool last, std::string& out) {
    std::array<unsigned char, std::size_t{64} * 1024> buffer{};
    stream_.next_in = reinterpret_cast<unsigned char*>(const_cast<char*>(input.data()));
    stream_.avail_in = static_cast<uInt>(size);
    int result = Z_OK;
    do {
      stream_.next_out = buffer.data();
      stream_.avail_out = static_cast<uInt>(buffer.size());
      result = deflate(&stream_, last ? Z_FINISH : Z_NO_FLUSH);
      out.append(reinterpret_cast<const char*>(buffer.data()), buffer.size() - stream_.avail_out);
    } while (stream_.avail_in > 0 || (last && result != Z_STREAM_END));
  }

 private:
  z_stream stream_{};
};

std::string DeflatedZeros(std::uint64_t count) {
  const std::string zeros(kZeroChunk, '\0');
  LevelNineDeflater deflater;
  std::string out;
  while (count > 0) {
    const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(count, kZeroChunk));
    count -= size;
    deflater.Feed(zeros, size, count == 0, out);
  }
  return out;
}

std::string Frame(std::uint8_t type, const std::string& encoded) {
  return FrameHead(type, encoded.size()) + encoded;
}

// Numbered lines such as an import report holds (they compress well, as a real one would), with
// the forged line once in the middle.
std::string ReportLines(std::size_t size, std::string_view forged_line) {
  std::string text;
  bool forged = false;
  for (int number = 1; text.size() < size; ++number) {
    if (!forged && text.size() >= size / 2) {
      text.append(forged_line).append("\r\n");
      forged = true;
    }
    text += "Blad importu rekordu nr " + std::to_string(100000 + number) +
            " tabeli TOWARY: naruszenie klucza PK_TOWARY\r\n";
  }
  return text;
}

}  // namespace

std::string FrameHead(std::uint8_t type, std::size_t declared) {
  return std::string(1, static_cast<char>(type)) + ";" + std::to_string(declared) + ";";
}

std::string UnfinishedFrame(std::size_t declared, std::size_t sent) {
  return FrameHead(pkAutoryzacja, declared) + std::string(sent, 'A');
}

std::string ZeroBombFrame(std::uint64_t zeros) {
  return Frame(pkAutoryzacja, Base64Encode(DeflatedZeros(kLengthBytes + zeros)));
}

std::string CachedZeroBombFrame(std::uint64_t zeros, const std::filesystem::path& file) {
  if (std::ifstream in{file, std::ios::binary}) {
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::string frame = ZeroBombFrame(zeros);
  const std::filesystem::path part = file.string() + ".part";
  std::ofstream(part, std::ios::binary)
      .write(frame.data(), static_cast<std::streamsize>(frame.size()));
  std::filesystem::rename(part, file);
  return frame;
}

std::string ForgedErrorReportFrame(std::size_t size, std::string_view forged_line) {
  return BuildPacket(pkBlad, BuildErrorReport(kErrorImportLocked, ReportLines(size, forged_line)),
                     false);
}

}  // namespace tramolin::bench
