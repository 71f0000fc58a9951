// Private to the Firebird layer: a BLOB's whole content written into a new BLOB or read from an
// existing one, in segments. Only the layer's .cpp files include it.
#pragma once

#include <string>
#include <string_view>

#include "engine/fb/api.h"

namespace tramolin::fb::detail {

// Creates a BLOB holding bytes and returns its id, to be bound to a parameter.
ISC_QUAD WriteBlob(Firebird::IAttachment* attachment, Firebird::ITransaction* transaction,
                   std::string_view bytes);
std::string ReadBlob(Firebird::IAttachment* attachment, Firebird::ITransaction* transaction,
                     ISC_QUAD id);

}  // namespace tramolin::fb::detail
