// Base64 of the packet payloads: the standard alphabet, no "=" written and no line breaks.
// Decoding is forgiving: characters outside the alphabet are skipped and it never fails.
#pragma once

#include <string>
#include <string_view>

namespace tramolin {

// Encodes bytes; a final group of one or two bytes gives two or three characters, no padding.
std::string Base64Encode(std::string_view bytes);

// Decodes the alphabet characters of text and skips every other byte ("=", CR, LF, ";", bytes
// from 0x80 up, ...). A leftover of one character yields nothing, of two one byte, of three two.
std::string Base64Decode(std::string_view text);

}  // namespace tramolin
