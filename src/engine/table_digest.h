// The digests of one replicated table's records for the consistency check: one pass over the
// table by ascending key, each record digested over its record text exactly as the export writes
// it (NULL columns written explicitly), so the two databases' column types do not matter; and,
// apart, the records that pending journal entries hold back from the comparison.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "util/record_digests.h"

namespace tramolin {

namespace fb {
class Attachment;
}
class TDecimalManager;
class TDMDB;

struct TableDigests {
  std::vector<RecordDigest> records;    // by ascending id, the in-flight ones left out
  std::vector<std::int32_t> in_flight;  // ascending: ids with journal entries pending
};

// A table whose digests cannot be read: a number outside the catalogue, a table that is not
// replicated, or one whose key does not give every record a distinct integer id.
class TableDigestError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The digest of a record text; never kInFlightDigest.
std::uint64_t RecordTextDigest(std::string_view text);

// Reads the table in one read-only snapshot transaction of its own on `db`. `destination` is
// the IDREPKOPIE of the journal entries that hold a record back: on the main database the copy's
// number, on a copy 0. `decimals` must be loaded (LoadDecimalFields). Throws TableDigestError,
// fb::Error from the database and UnsupportedColumnError for a column the record text cannot
// carry.
TableDigests ReadTableDigests(fb::Attachment& db, TDecimalManager& decimals,
                              std::int32_t table_number, std::int32_t destination);
// The same on the module's connection, which must be open, with its catalogue.
TableDigests ReadTableDigests(TDMDB& db, std::int32_t table_number, std::int32_t destination);

}  // namespace tramolin
