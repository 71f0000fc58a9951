#include "protocol/base64.h"

#include <array>
#include <cstdint>

namespace tramolin {
namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint8_t kInvalid = 255;

constexpr std::array<std::uint8_t, 256> MakeDecodingTable() {
  std::array<std::uint8_t, 256> table{};
  for (auto& entry : table) entry = kInvalid;
  for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
    table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
  }
  return table;
}

constexpr std::array<std::uint8_t, 256> kDecodingTable = MakeDecodingTable();

std::uint8_t Byte(std::string_view bytes, std::size_t i) {
  return i < bytes.size() ? static_cast<std::uint8_t>(bytes[i]) : 0;
}

std::size_t CountValid(std::string_view text) {
  std::size_t count = 0;
  for (char c : text) count += kDecodingTable[static_cast<unsigned char>(c)] != kInvalid;
  return count;
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::uint32_t bits =
        (std::uint32_t{Byte(bytes, i)} << 16) | (Byte(bytes, i + 1) << 8) | Byte(bytes, i + 2);
    const std::size_t characters = bytes.size() - i >= 3 ? 4 : bytes.size() - i + 1;
    for (std::size_t k = 0; k < characters; ++k)
      out.push_back(kAlphabet[(bits >> (18 - 6 * k)) & 63]);
  }
  return out;
}

std::string Base64Decode(std::string_view text) {
  const std::size_t valid = CountValid(text);
  std::string out(3 * (valid / 4) + (3 * (valid % 4)) / 4, '\0');
  std::size_t written = 0;
  std::uint32_t bits = 0;
  std::size_t filled = 0;
  for (char c : text) {
    const std::uint8_t value = kDecodingTable[static_cast<unsigned char>(c)];
    if (value == kInvalid) continue;
    bits = (bits << 6) | value;
    if (++filled == 4) {
      out[written++] = static_cast<char>(bits >> 16);
      out[written++] = static_cast<char>(bits >> 8);
      out[written++] = static_cast<char>(bits);
      bits = 0;
      filled = 0;
    }
  }
  // A final incomplete group counts as if filled up with zero values.
  bits <<= 6 * (4 - filled) % 24;
  for (int shift = 16; written < out.size(); shift -= 8) {
    out[written++] = static_cast<char>(bits >> shift);
  }
  return out;
}

}  // namespace tramolin
