// Payloads of the consistency check of one table between the server and a copy, fields
// separated by ";", each field closed by one:
//   range digest request   = table ";" n ";" (low ";" high ";"){n}
//   range digest answer    = n ";" (count ";" hash ";"){n}      one per range asked, in its order
//   record digest request  = table ";" n ";" (low ";" high ";"){n}   ascending, disjoint
//   record digest answer   = n ";" (id ";" digest ";"){n}        ascending ids
// Integers in decimal, hashes and digests in lowercase hexadecimal of up to 16 digits. A peer's
// payload is read strictly: a missing or extra field, a number out of its range or a list over
// its limit (util/record_digests.h) gives nullopt. Parsing never throws.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "util/record_digests.h"

namespace tramolin {

struct DigestRangesRequest {
  std::int32_t table_number = 0;  // 0 or more
  std::vector<IdRange> ranges;    // each low <= high; at most kMaxRangesPerStep

  friend bool operator==(const DigestRangesRequest&, const DigestRangesRequest&) = default;
};

std::string BuildRangeDigestRequest(const DigestRangesRequest& request);
std::optional<DigestRangesRequest> ParseRangeDigestRequest(std::string_view payload);

// At most kMaxRangesPerStep digests, each count within 32-bit signed integers.
std::string BuildRangeDigestAnswer(std::span<const RangeDigest> digests);
std::optional<std::vector<RangeDigest>> ParseRangeDigestAnswer(std::string_view payload);

// The same text as a range digest request; its ranges must also be ascending and disjoint, since
// the answer lists their records in one run.
std::string BuildRecordDigestRequest(const DigestRangesRequest& request);
std::optional<DigestRangesRequest> ParseRecordDigestRequest(std::string_view payload);

// At most kMaxRecordsPerStep records, by strictly ascending id.
std::string BuildRecordDigestAnswer(std::span<const RecordDigest> records);
std::optional<std::vector<RecordDigest>> ParseRecordDigestAnswer(std::string_view payload);

// The packets of a check carry one of the payloads above behind the kind of step:
//   pkSprawdzenie    = "R;" range digest request | "K;" record digest request | "E;" (it is over)
//   pkSprawdzenieOdp = "R;" range digest answer  | "K;" record digest answer  | "X;" (the copy
//                      cannot read the table)
enum class CheckStep : char { kRanges = 'R', kRecords = 'K', kEnd = 'E', kFailed = 'X' };
std::string BuildCheckStep(CheckStep step, std::string_view body = {});
// The kind and the body; nullopt for any other payload.
std::optional<std::pair<CheckStep, std::string_view>> ParseCheckStep(std::string_view payload);

}  // namespace tramolin
