#include "engine/digest_narrowing.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace tramolin {
namespace {

constexpr IdRange kAllIds{std::numeric_limits<std::int32_t>::min(),
                          std::numeric_limits<std::int32_t>::max()};

std::uint64_t IdsIn(IdRange range) {
  return static_cast<std::uint64_t>(std::int64_t{range.high} - range.low + 1);
}

// Limits a caller might give beyond what a step carries or what lets a range shrink.
NarrowingLimits Bounded(NarrowingLimits limits) {
  limits.first_level = std::clamp<std::size_t>(limits.first_level, 1, kMaxRangesPerStep);
  limits.parts = std::clamp<std::size_t>(limits.parts, 2, kMaxRangesPerStep);
  limits.leaf_records = std::clamp<std::uint32_t>(limits.leaf_records, 1, kMaxRecordsPerStep);
  return limits;
}

void SortUnique(std::vector<std::int32_t>& ids) {
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
}

}  // namespace

TDigestNarrowing::TDigestNarrowing(TDigestSet main, NarrowingLimits limits)
    : main_(std::move(main)), limits_(Bounded(limits)) {
  differences_.in_flight = main_.InFlightIds();
  groups_.push_back({SplitRange(kAllIds, limits_.first_level, main_.Records(), 0), std::nullopt});
  AskRanges();
}

NarrowingOutcome TDigestNarrowing::TakeRangeDigests(std::span<const RangeDigest> answer) {
  if (outcome_ != NarrowingOutcome::kInProgress) return outcome_;
  if (request_.kind != DigestRequest::Kind::kRangeDigests ||
      answer.size() != request_.ranges.size()) {
    return outcome_ = NarrowingOutcome::kAnswerNotAsked;
  }
  if (const NarrowingOutcome wrong = CheckRangeAnswer(answer);
      wrong != NarrowingOutcome::kInProgress) {
    return outcome_ = wrong;
  }
  for (std::size_t i = 0; i < answer.size(); ++i) Narrow(request_.ranges[i], answer[i]);
  return Advance();
}

NarrowingOutcome TDigestNarrowing::TakeRecordDigests(std::span<const RecordDigest> answer) {
  if (outcome_ != NarrowingOutcome::kInProgress) return outcome_;
  if (request_.kind != DigestRequest::Kind::kRecordDigests) {
    return outcome_ = NarrowingOutcome::kAnswerNotAsked;
  }
  for (const Leaf& leaf : asked_leaves_) {
    if (const NarrowingOutcome wrong = CompareLeaf(leaf, answer);
        wrong != NarrowingOutcome::kInProgress) {
      return outcome_ = wrong;
    }
  }
  if (!answer.empty()) return outcome_ = NarrowingOutcome::kIdOutsideRange;
  return Advance();
}

// Each count within its range's ids, no hash without records, each group adding up.
NarrowingOutcome TDigestNarrowing::CheckRangeAnswer(std::span<const RangeDigest> answer) const {
  for (std::size_t i = 0; i < answer.size(); ++i) {
    if (answer[i].count > IdsIn(request_.ranges[i])) return NarrowingOutcome::kCountImpossible;
    if (answer[i].count == 0 && answer[i].hash != 0) return NarrowingOutcome::kAnswerDisagrees;
  }
  std::size_t first = 0;
  for (const PartGroup& group : asked_groups_) {
    const NarrowingOutcome wrong = CheckGroupSum(group, answer.subspan(first, group.parts.size()));
    if (wrong != NarrowingOutcome::kInProgress) return wrong;
    first += group.parts.size();
  }
  return NarrowingOutcome::kInProgress;
}

// The parts of a range must make the copy's digest of the whole; the first level must stay
// within the records a copy may have.
NarrowingOutcome TDigestNarrowing::CheckGroupSum(const PartGroup& group,
                                                 std::span<const RangeDigest> answer) const {
  std::uint64_t count = 0;
  std::uint64_t hash = 0;
  for (const RangeDigest& part : answer) {
    count += part.count;
    hash += part.hash;
  }
  if (!group.whole) {
    return count > limits_.max_copy_records ? NarrowingOutcome::kCountImpossible
                                            : NarrowingOutcome::kInProgress;
  }
  return count == group.whole->count && hash == group.whole->hash
             ? NarrowingOutcome::kInProgress
             : NarrowingOutcome::kAnswerDisagrees;
}

// A range that differs becomes parts to ask about, or, when small on both sides, a range to
// compare record by record (at once when the copy has none of it).
void TDigestNarrowing::Narrow(IdRange range, const RangeDigest& copy) {
  const RangeDigest main = main_.DigestOf(range);
  if (main == copy) return;
  if (main.count <= limits_.leaf_records && copy.count <= limits_.leaf_records) {
    if (copy.count > 0) {
      leaves_.push_back({range, copy});
      return;
    }
    for (const RecordDigest& record : main_.RecordsIn(range)) AddMainOnly(record);
    return;
  }
  groups_.push_back({SplitRange(range, limits_.parts, main_.RecordsIn(range), copy.count), copy});
}

// Cuts the leaf's records off the front of the answer, checks them against the copy's digest of
// the leaf and compares them with the main side's.
NarrowingOutcome TDigestNarrowing::CompareLeaf(const Leaf& leaf,
                                               std::span<const RecordDigest>& answer) {
  std::size_t count = 0;
  for (; count < answer.size() && answer[count].id <= leaf.range.high; ++count) {
    const bool ascending = count == 0 || answer[count - 1].id < answer[count].id;
    if (answer[count].id < leaf.range.low || !ascending) return NarrowingOutcome::kIdOutsideRange;
  }
  const std::span<const RecordDigest> copy = answer.first(count);
  if (count != leaf.copy.count || DigestSum(copy) != leaf.copy.hash) {
    return NarrowingOutcome::kAnswerDisagrees;
  }
  CompareRecords(main_.RecordsIn(leaf.range), copy);
  answer = answer.subspan(count);
  return NarrowingOutcome::kInProgress;
}

// Both lists ascending. The main side's in-flight ids are listed from the start.
void TDigestNarrowing::CompareRecords(std::span<const RecordDigest> main,
                                      std::span<const RecordDigest> copy) {
  auto m = main.begin();
  auto c = copy.begin();
  while (m != main.end() || c != copy.end()) {
    if (c == copy.end() || (m != main.end() && m->id < c->id)) {
      AddMainOnly(*m++);
    } else if (m == main.end() || c->id < m->id) {
      (c->digest == kInFlightDigest ? differences_.in_flight : differences_.only_copy)
          .push_back(c->id);
      ++c;
    } else {
      if (m->digest != kInFlightDigest && c->digest == kInFlightDigest) {
        differences_.in_flight.push_back(c->id);
      } else if (m->digest != kInFlightDigest && m->digest != c->digest) {
        differences_.different.push_back(c->id);
      }
      ++m;
      ++c;
    }
  }
}

void TDigestNarrowing::AddMainOnly(const RecordDigest& record) {
  if (record.digest != kInFlightDigest) differences_.only_main.push_back(record.id);
}

NarrowingOutcome TDigestNarrowing::Advance() {
  if (!groups_.empty()) {
    AskRanges();
  } else if (!leaves_.empty()) {
    AskRecords();
  } else {
    Finish();
  }
  return outcome_;
}

// Whole groups, as many as one step carries.
void TDigestNarrowing::AskRanges() {
  request_ = {DigestRequest::Kind::kRangeDigests, {}};
  asked_groups_.clear();
  while (!groups_.empty() &&
         request_.ranges.size() + groups_.front().parts.size() <= kMaxRangesPerStep) {
    const std::vector<IdRange>& parts = groups_.front().parts;
    request_.ranges.insert(request_.ranges.end(), parts.begin(), parts.end());
    asked_groups_.push_back(std::move(groups_.front()));
    groups_.pop_front();
  }
  ++steps_;
}

// As many leaves as one answer can carry the records of, by ascending id.
void TDigestNarrowing::AskRecords() {
  asked_leaves_.clear();
  std::size_t records = 0;
  while (!leaves_.empty() && asked_leaves_.size() < kMaxRangesPerStep &&
         records + leaves_.front().copy.count <= kMaxRecordsPerStep) {
    records += leaves_.front().copy.count;
    asked_leaves_.push_back(leaves_.front());
    leaves_.pop_front();
  }
  std::sort(asked_leaves_.begin(), asked_leaves_.end(),
            [](const Leaf& a, const Leaf& b) { return a.range.low < b.range.low; });
  request_ = {DigestRequest::Kind::kRecordDigests, {}};
  for (const Leaf& leaf : asked_leaves_) request_.ranges.push_back(leaf.range);
  ++steps_;
}

void TDigestNarrowing::Finish() {
  SortUnique(differences_.only_main);
  SortUnique(differences_.only_copy);
  SortUnique(differences_.different);
  SortUnique(differences_.in_flight);
  outcome_ = NarrowingOutcome::kDone;
}

}  // namespace tramolin
