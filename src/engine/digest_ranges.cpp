#include "engine/digest_ranges.h"

#include <algorithm>
#include <utility>

namespace tramolin {
namespace {

bool IdBelow(const RecordDigest& record, std::int32_t id) { return record.id < id; }
bool IdAbove(std::int32_t id, const RecordDigest& record) { return id < record.id; }

// Parts of about the same number of ids.
std::vector<IdRange> EvenSplit(IdRange range, std::size_t parts) {
  const std::int64_t low = range.low;
  const std::int64_t span = std::int64_t{range.high} - low + 1;
  const auto count = std::min(static_cast<std::int64_t>(parts), span);
  std::vector<IdRange> out;
  out.reserve(static_cast<std::size_t>(count));
  for (std::int64_t k = 0; k < count; ++k) {
    out.push_back({static_cast<std::int32_t>(low + span * k / count),
                   static_cast<std::int32_t>(low + span * (k + 1) / count - 1)});
  }
  return out;
}

// Parts of about the same number of the main side's records; needs at least `parts` of them.
std::vector<IdRange> SplitAtRecords(IdRange range, std::size_t parts,
                                    std::span<const RecordDigest> records) {
  std::vector<IdRange> out;
  out.reserve(parts);
  std::int32_t low = range.low;
  for (std::size_t k = 1; k < parts; ++k) {
    const std::int32_t cut = records[k * records.size() / parts].id;
    out.push_back({low, cut - 1});
    low = cut;
  }
  out.push_back({low, range.high});
  return out;
}

}  // namespace

TDigestSet::TDigestSet(std::vector<RecordDigest> records) : records_(std::move(records)) {
  sums_.reserve(records_.size() + 1);
  sums_.push_back(0);
  for (const RecordDigest& record : records_) sums_.push_back(sums_.back() + record.digest);
}

std::span<const RecordDigest> TDigestSet::RecordsIn(IdRange range) const {
  const auto first = std::lower_bound(records_.begin(), records_.end(), range.low, IdBelow);
  const auto last = std::upper_bound(first, records_.end(), range.high, IdAbove);
  return {first, last};
}

RangeDigest TDigestSet::DigestOf(IdRange range) const {
  const std::span<const RecordDigest> in = RecordsIn(range);
  const auto first = static_cast<std::size_t>(in.data() - records_.data());
  return {static_cast<std::uint32_t>(in.size()), sums_[first + in.size()] - sums_[first]};
}

std::vector<std::int32_t> TDigestSet::InFlightIds() const {
  std::vector<std::int32_t> ids;
  for (const RecordDigest& record : records_) {
    if (record.digest == kInFlightDigest) ids.push_back(record.id);
  }
  return ids;
}

std::uint64_t DigestSum(std::span<const RecordDigest> records) {
  std::uint64_t sum = 0;
  for (const RecordDigest& record : records) sum += record.digest;
  return sum;
}

std::vector<RecordDigest> WithInFlight(std::span<const RecordDigest> records,
                                       std::span<const std::int32_t> in_flight) {
  std::vector<RecordDigest> out;
  out.reserve(records.size() + in_flight.size());
  auto pending = in_flight.begin();
  for (const RecordDigest& record : records) {
    for (; pending != in_flight.end() && *pending < record.id; ++pending) {
      out.push_back({*pending, kInFlightDigest});
    }
    const bool held = pending != in_flight.end() && *pending == record.id;
    out.push_back({record.id, held ? kInFlightDigest : record.digest});
    if (held) ++pending;
  }
  for (; pending != in_flight.end(); ++pending) out.push_back({*pending, kInFlightDigest});
  return out;
}

std::vector<IdRange> SplitRange(IdRange range, std::size_t parts,
                                std::span<const RecordDigest> main_records,
                                std::uint64_t copy_count) {
  const bool main_holds_most = main_records.size() >= std::max<std::size_t>(parts, 2) &&
                               main_records.size() * 2 >= copy_count;
  return main_holds_most ? SplitAtRecords(range, parts, main_records) : EvenSplit(range, parts);
}

std::vector<RangeDigest> AnswerRangeDigests(const TDigestSet& set,
                                            std::span<const IdRange> ranges) {
  std::vector<RangeDigest> out;
  out.reserve(ranges.size());
  for (const IdRange& range : ranges) out.push_back(set.DigestOf(range));
  return out;
}

std::optional<std::vector<RecordDigest>> AnswerRecordDigests(const TDigestSet& set,
                                                             std::span<const IdRange> ranges) {
  std::vector<RecordDigest> out;
  for (const IdRange& range : ranges) {
    const std::span<const RecordDigest> records = set.RecordsIn(range);
    if (out.size() + records.size() > kMaxRecordsPerStep) return std::nullopt;
    out.insert(out.end(), records.begin(), records.end());
  }
  return out;
}

}  // namespace tramolin
