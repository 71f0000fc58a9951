#include "util/cp1250.h"

namespace tramolin {
namespace {

using cp1250_detail::kHighHalf;

// Case pairs of the upper half: {upper, lower}. The lower half follows ASCII.
constexpr std::array<std::pair<unsigned char, unsigned char>, 10> kHighCasePairs = {{
    {0x8A, 0x9A},
    {0x8C, 0x9C},
    {0x8D, 0x9D},
    {0x8E, 0x9E},
    {0x8F, 0x9F},
    {0xA3, 0xB3},
    {0xA5, 0xB9},
    {0xAA, 0xBA},
    {0xAF, 0xBF},
    {0xBC, 0xBE},
}};

void AppendUtf8(std::string& out, char32_t code_point) {
  if (code_point < 0x80) {
    out += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    out += static_cast<char>(0xC0 | (code_point >> 6));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code_point >> 12));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

}  // namespace

std::string Utf8ToCp1250(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    out += cp1250_detail::EncodeCodePoint(cp1250_detail::DecodeUtf8(utf8, pos));
  }
  return out;
}

std::string Cp1250ToUtf8(std::string_view cp1250) {
  std::string out;
  out.reserve(cp1250.size() + cp1250.size() / 4);
  for (char c : cp1250) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out += c;
    } else {
      const char16_t code_point = kHighHalf[byte - 0x80];
      AppendUtf8(out, code_point != 0 ? code_point : U'\uFFFD');
    }
  }
  return out;
}

char Cp1250Upper(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte >= 'a' && byte <= 'z') return static_cast<char>(byte - 0x20);
  if (byte >= 0xE0 && byte != 0xF7 && byte != 0xFF) return static_cast<char>(byte - 0x20);
  for (auto [upper, lower] : kHighCasePairs) {
    if (byte == lower) return static_cast<char>(upper);
  }
  return c;
}

char Cp1250Lower(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte >= 'A' && byte <= 'Z') return static_cast<char>(byte + 0x20);
  if (byte >= 0xC0 && byte <= 0xDE && byte != 0xD7) return static_cast<char>(byte + 0x20);
  for (auto [upper, lower] : kHighCasePairs) {
    if (byte == upper) return static_cast<char>(lower);
  }
  return c;
}

std::string UpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Cp1250Upper(c);
  return out;
}

std::string LowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Cp1250Lower(c);
  return out;
}

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Cp1250Upper(a[i]) != Cp1250Upper(b[i])) return false;
  }
  return true;
}

}  // namespace tramolin
