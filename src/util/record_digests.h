// The values of a consistency check between two databases: digests of single records and of
// ranges of record ids, as the engine computes them and the protocol carries them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tramolin {

// The ids from low to high, both included.
struct IdRange {
  std::int32_t low = 0;
  std::int32_t high = 0;

  friend bool operator==(const IdRange&, const IdRange&) = default;
};

// One record's digest. A record with pending journal entries carries kInFlightDigest instead.
struct RecordDigest {
  std::int32_t id = 0;
  std::uint64_t digest = 0;

  friend bool operator==(const RecordDigest&, const RecordDigest&) = default;
};

// The records of one range: how many, and the wrapping sum of their digests (0 for none).
struct RangeDigest {
  std::uint32_t count = 0;
  std::uint64_t hash = 0;

  friend bool operator==(const RangeDigest&, const RangeDigest&) = default;
};

// The digest a record's content never gets: the mark of a record left out while in flight.
inline constexpr std::uint64_t kInFlightDigest = 0;

// What one step of the check may carry: ranges in a request, records in an answer.
inline constexpr std::size_t kMaxRangesPerStep = 1024;
inline constexpr std::size_t kMaxRecordsPerStep = 4096;

}  // namespace tramolin
