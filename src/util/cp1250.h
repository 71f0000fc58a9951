// Text inside the program is bytes in code page 1250 (the database connection, the wire and the
// files use it too). Source literals are UTF-8; the _cp suffix converts them at compile time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tramolin {

namespace cp1250_detail {

// Unicode code points of the bytes 0x80-0xFF; 0 marks a byte the code page leaves undefined.
inline constexpr std::array<char16_t, 128> kHighHalf = {
    0x20AC, 0x0000, 0x201A, 0x0000, 0x201E, 0x2026, 0x2020, 0x2021, 0x0000, 0x2030, 0x0160, 0x2039,
    0x015A, 0x0164, 0x017D, 0x0179, 0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0000, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141,
    0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB,
    0x013D, 0x02DD, 0x013E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3,
    0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB,
    0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9};

inline constexpr char kReplacement = '?';

// Byte of a code point, or kReplacement when the code page has none.
constexpr char EncodeCodePoint(char32_t code_point) {
  if (code_point < 0x80) return static_cast<char>(code_point);
  for (std::size_t i = 0; i < kHighHalf.size(); ++i) {
    if (kHighHalf[i] != 0 && kHighHalf[i] == code_point) return static_cast<char>(0x80 + i);
  }
  return kReplacement;
}

// Decodes one UTF-8 sequence starting at text[pos]; advances pos. Malformed bytes decode as
// U+FFFD one at a time.
constexpr char32_t DecodeUtf8(std::string_view text, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos++]);
  if (lead < 0x80) return lead;
  int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
  if (extra < 0 || pos + extra > text.size()) return 0xFFFD;
  char32_t code_point = lead & (0x3F >> extra);
  for (int i = 0; i < extra; ++i) {
    const auto next = static_cast<unsigned char>(text[pos]);
    if ((next & 0xC0) != 0x80) return 0xFFFD;
    code_point = (code_point << 6) | (next & 0x3F);
    ++pos;
  }
  return code_point;
}

template <std::size_t N>
struct Utf8Literal {
  char bytes[N]{};
  constexpr Utf8Literal(const char (&text)[N]) {  // NOLINT: implicit by design (literal operator)
    for (std::size_t i = 0; i < N; ++i) bytes[i] = text[i];
  }
  constexpr std::string_view view() const { return {bytes, N - 1}; }
};

template <Utf8Literal Source>
struct Cp1250Literal {
  static constexpr std::size_t CountCodePoints() {
    std::size_t length = 0;
    for (std::size_t pos = 0; pos < Source.view().size(); ++length) DecodeUtf8(Source.view(), pos);
    return length;
  }
  static constexpr std::size_t kLength = CountCodePoints();

  static constexpr std::array<char, kLength + 1> Convert() {
    std::array<char, kLength + 1> out{};
    std::size_t pos = 0;
    for (std::size_t i = 0; i < kLength; ++i) {
      out[i] = EncodeCodePoint(DecodeUtf8(Source.view(), pos));
    }
    return out;
  }
  static constexpr std::array<char, kLength + 1> kBytes = Convert();
};

}  // namespace cp1250_detail

// A view of static cp1250 text that joins with other text by "+" into a std::string.
struct CpText : std::string_view {
  constexpr explicit CpText(std::string_view text) : std::string_view(text) {}

  friend std::string operator+(CpText a, std::string_view b) { return Join(a, b); }
  friend std::string operator+(std::string_view a, CpText b) { return Join(a, b); }
  friend std::string operator+(CpText a, CpText b) { return Join(a, b); }

 private:
  static std::string Join(std::string_view a, std::string_view b) {
    std::string joined;
    joined.reserve(a.size() + b.size());
    joined.append(a).append(b);
    return joined;
  }
};

// "Zamykanie ..."_cp: the literal's bytes in code page 1250, made at compile time.
template <cp1250_detail::Utf8Literal Source>
constexpr CpText operator""_cp() {
  using Literal = cp1250_detail::Cp1250Literal<Source>;
  return CpText({Literal::kBytes.data(), Literal::kBytes.size() - 1});
}

// Conversions at the edges of the program (terminal, window, Qt strings).
std::string Utf8ToCp1250(std::string_view utf8);
std::string Cp1250ToUtf8(std::string_view cp1250);

// Case mapping of the code page, Polish letters included.
char Cp1250Upper(char c);
char Cp1250Lower(char c);
std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
bool SameTextIgnoringCase(std::string_view a, std::string_view b);

}  // namespace tramolin
