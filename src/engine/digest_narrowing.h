// The main database's side of a consistency check of one table against one copy. It asks the
// copy for the digests of a first level of id ranges, cuts every range whose digests differ into
// parts and asks again, and once a range holds few records on both sides asks for their record
// digests. Every request is one step, sent in one packet; every answer is checked against what
// was asked before anything of it is used. Pure: the caller carries the steps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

#include "engine/digest_ranges.h"
#include "util/record_digests.h"

namespace tramolin {

struct NarrowingLimits {
  std::size_t first_level = 64;     // ranges of the first request
  std::size_t parts = 16;           // parts of a range that differs
  std::uint32_t leaf_records = 64;  // a range is compared record by record at this many or less
  std::uint64_t max_copy_records = 1u << 25;  // the most records a copy may say it has
};

enum class NarrowingOutcome {
  kInProgress,
  kDone,
  kAnswerNotAsked,   // an answer of the other kind, or not one digest per range asked
  kCountImpossible,  // a range with more records than ids, or a copy over max_copy_records
  kAnswerDisagrees,  // parts that do not add up to their range, records that do not make theirs
  kIdOutsideRange,   // a record outside the ranges asked, or records out of order
};

struct DigestRequest {
  enum class Kind { kRangeDigests, kRecordDigests };
  Kind kind = Kind::kRangeDigests;
  std::vector<IdRange> ranges;  // for record digests ascending and disjoint
};

// What the check found, each list ascending. In flight: ids with pending journal entries on
// either side, left out of the other three.
struct TableDifferences {
  std::vector<std::int32_t> only_main;
  std::vector<std::int32_t> only_copy;
  std::vector<std::int32_t> different;
  std::vector<std::int32_t> in_flight;
};

class TDigestNarrowing {
 public:
  // `main`: the main database's digests of the table, its in-flight ids marked (WithInFlight).
  explicit TDigestNarrowing(TDigestSet main, NarrowingLimits limits = {});

  NarrowingOutcome Outcome() const { return outcome_; }
  // The request to send next; valid while the outcome is kInProgress.
  const DigestRequest& Request() const { return request_; }
  // The copy's answer to Request(). Gives the outcome after it.
  NarrowingOutcome TakeRangeDigests(std::span<const RangeDigest> answer);
  NarrowingOutcome TakeRecordDigests(std::span<const RecordDigest> answer);

  // Complete once the outcome is kDone.
  const TableDifferences& Differences() const { return differences_; }
  // Requests made so far.
  std::size_t Steps() const { return steps_; }

 private:
  // The parts of one range that differed, asked together so their sum can be checked against it.
  struct PartGroup {
    std::vector<IdRange> parts;
    std::optional<RangeDigest> whole;  // none for the first level
  };
  struct Leaf {
    IdRange range;
    RangeDigest copy;
  };

  NarrowingOutcome CheckRangeAnswer(std::span<const RangeDigest> answer) const;
  NarrowingOutcome CheckGroupSum(const PartGroup& group, std::span<const RangeDigest> answer) const;
  void Narrow(IdRange range, const RangeDigest& copy);
  NarrowingOutcome CompareLeaf(const Leaf& leaf, std::span<const RecordDigest>& answer);
  void CompareRecords(std::span<const RecordDigest> main, std::span<const RecordDigest> copy);
  void AddMainOnly(const RecordDigest& record);
  NarrowingOutcome Advance();
  void AskRanges();
  void AskRecords();
  void Finish();

  TDigestSet main_;
  NarrowingLimits limits_;
  NarrowingOutcome outcome_ = NarrowingOutcome::kInProgress;
  DigestRequest request_;
  std::vector<PartGroup> asked_groups_;  // the groups of a range request, in its order
  std::vector<Leaf> asked_leaves_;       // the ranges of a record request
  std::deque<PartGroup> groups_;
  std::deque<Leaf> leaves_;
  TableDifferences differences_;
  std::size_t steps_ = 0;
};

}  // namespace tramolin
