// One side's record digests of a table and what it answers about ranges of them: the digest of a
// range, the records of a range, and how a range is cut into smaller ones. Pure rules, no
// database.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "util/record_digests.h"

namespace tramolin {

// The digests of one side, by ascending id. A range's digest is read off prefix sums, so any
// range costs two binary searches however many records it holds.
class TDigestSet {
 public:
  TDigestSet() = default;
  // `records` must be by strictly ascending id (as the table's pass reads them).
  explicit TDigestSet(std::vector<RecordDigest> records);

  RangeDigest DigestOf(IdRange range) const;
  std::span<const RecordDigest> RecordsIn(IdRange range) const;
  std::span<const RecordDigest> Records() const { return records_; }
  // The ids marked kInFlightDigest, ascending.
  std::vector<std::int32_t> InFlightIds() const;

 private:
  std::vector<RecordDigest> records_;
  std::vector<std::uint64_t> sums_;  // sums_[i]: the digests of records_[0..i) added up
};

// The wrapping sum of the digests, the hash of a range.
std::uint64_t DigestSum(std::span<const RecordDigest> records);

// A table's digests with its in-flight ids joined in, each marked kInFlightDigest (a record with
// pending entries loses its digest; a pending id without a record gets an entry of its own).
// Both lists ascending.
std::vector<RecordDigest> WithInFlight(std::span<const RecordDigest> records,
                                       std::span<const std::int32_t> in_flight);

// Cuts `range` into at most `parts` ranges that cover it without gaps. When the main side holds
// most of the range's records (`main_records` are those in it), the cuts fall at its records so
// that each part holds about as many of them; otherwise the ids are cut evenly. A range of one
// id is not cut.
std::vector<IdRange> SplitRange(IdRange range, std::size_t parts,
                                std::span<const RecordDigest> main_records,
                                std::uint64_t copy_count);

// The copy's answers: the digest of every range asked, and the records of every range asked,
// which must be ascending and disjoint; nullopt when those records would be more than one step
// carries.
std::vector<RangeDigest> AnswerRangeDigests(const TDigestSet& set, std::span<const IdRange> ranges);
std::optional<std::vector<RecordDigest>> AnswerRecordDigests(const TDigestSet& set,
                                                             std::span<const IdRange> ranges);

}  // namespace tramolin
