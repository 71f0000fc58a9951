// Cutting separator-delimited fields off the front of a payload. The text is a moving view: each
// call shortens it without copying, so a payload of tens of thousands of fields costs one pass.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string_view>

namespace tramolin {

// "'<text>' is not a valid integer value".
class ConversionError : public std::runtime_error {
 public:
  explicit ConversionError(std::string_view text);
};

// The text up to the first separator; the text loses the field and that separator. Without a
// separator the whole text is the field and the text becomes empty.
std::string_view NextField(std::string_view& text, char separator = ';');

// NextField read as a 32-bit signed decimal integer. Throws ConversionError and leaves the text
// unchanged when the field is not one.
int32_t NextIntField(std::string_view& text, char separator = ';');

// The text as a 32-bit signed decimal integer (optional sign, digits only), or ConversionError.
int32_t ParseInt32(std::string_view text);

}  // namespace tramolin
