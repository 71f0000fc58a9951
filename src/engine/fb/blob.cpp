#include "engine/fb/blob.h"

#include <algorithm>
#include <vector>

#include "engine/fb/owned.h"

namespace tramolin::fb::detail {

namespace {

constexpr unsigned kBlobSegment = 32768;

void CloseBlob(Owned<Firebird::IBlob>& blob) {
  EndInterface(blob, [](Firebird::IBlob* b) { Checked([&](auto* s) { b->close(s); }); });
}

}  // namespace

ISC_QUAD WriteBlob(Firebird::IAttachment* attachment, Firebird::ITransaction* transaction,
                   std::string_view bytes) {
  ISC_QUAD id{};
  Owned<Firebird::IBlob> blob(
      Checked([&](auto* s) { return attachment->createBlob(s, transaction, &id, 0, nullptr); }));
  for (std::size_t pos = 0; pos < bytes.size(); pos += kBlobSegment) {
    const auto chunk =
        static_cast<unsigned>(std::min<std::size_t>(kBlobSegment, bytes.size() - pos));
    Checked([&](auto* s) { blob->putSegment(s, chunk, bytes.data() + pos); });
  }
  CloseBlob(blob);
  return id;
}

std::string ReadBlob(Firebird::IAttachment* attachment, Firebird::ITransaction* transaction,
                     ISC_QUAD id) {
  Owned<Firebird::IBlob> blob(
      Checked([&](auto* s) { return attachment->openBlob(s, transaction, &id, 0, nullptr); }));
  std::string bytes;
  std::vector<char> segment(kBlobSegment);
  for (;;) {
    unsigned length = 0;
    const int result = Checked([&](auto* s) {
      return blob->getSegment(s, static_cast<unsigned>(segment.size()), segment.data(), &length);
    });
    if (result == Firebird::IStatus::RESULT_NO_DATA) break;
    bytes.append(segment.data(), length);
  }
  CloseBlob(blob);
  return bytes;
}

}  // namespace tramolin::fb::detail
