#include "protocol/consistency_payloads.h"

#include <charconv>
#include <cstddef>
#include <limits>

#include "util/fields.h"

namespace tramolin {
namespace {

constexpr char kSeparator = ';';
constexpr std::size_t kMaxHashDigits = 16;

// Reads fields each closed by the separator; any field that is missing or malformed fails the
// whole payload.
class StrictFields {
 public:
  explicit StrictFields(std::string_view payload) : rest_(payload) {}

  bool AtEnd() const { return rest_.empty(); }

  std::optional<std::int32_t> Int() {
    const std::optional<std::string_view> field = Next();
    if (!field) return std::nullopt;
    try {
      return ParseInt32(*field);
    } catch (const ConversionError&) {
      return std::nullopt;
    }
  }

  // A count of items: 0 up to `limit`.
  std::optional<std::size_t> Count(std::size_t limit) {
    const std::optional<std::int32_t> value = Int();
    if (!value || *value < 0 || static_cast<std::size_t>(*value) > limit) return std::nullopt;
    return static_cast<std::size_t>(*value);
  }

  std::optional<std::uint64_t> Hash() {
    const std::optional<std::string_view> field = Next();
    if (!field || field->empty() || field->size() > kMaxHashDigits) return std::nullopt;
    for (const char c : *field) {
      if ((c < '0' || c > '9') && (c < 'a' || c > 'f')) return std::nullopt;
    }
    std::uint64_t value = 0;
    std::from_chars(field->data(), field->data() + field->size(), value, 16);
    return value;
  }

 private:
  std::optional<std::string_view> Next() {
    if (rest_.find(kSeparator) == std::string_view::npos) return std::nullopt;
    return NextField(rest_, kSeparator);
  }

  std::string_view rest_;
};

void AppendInt(std::string& out, std::int64_t value) {
  out.append(std::to_string(value)).push_back(kSeparator);
}

void AppendHash(std::string& out, std::uint64_t value) {
  char digits[kMaxHashDigits];
  const auto end = std::to_chars(digits, digits + kMaxHashDigits, value, 16).ptr;
  out.append(digits, end).push_back(kSeparator);
}

std::string BuildRanges(const DigestRangesRequest& request) {
  std::string out;
  AppendInt(out, request.table_number);
  AppendInt(out, static_cast<std::int64_t>(request.ranges.size()));
  for (const IdRange& range : request.ranges) {
    AppendInt(out, range.low);
    AppendInt(out, range.high);
  }
  return out;
}

std::optional<DigestRangesRequest> ParseRanges(std::string_view payload) {
  StrictFields fields(payload);
  const std::optional<std::int32_t> table = fields.Int();
  const std::optional<std::size_t> count = fields.Count(kMaxRangesPerStep);
  if (!table || *table < 0 || !count) return std::nullopt;
  DigestRangesRequest request{*table, {}};
  request.ranges.reserve(*count);
  for (std::size_t i = 0; i < *count; ++i) {
    const std::optional<std::int32_t> low = fields.Int();
    const std::optional<std::int32_t> high = fields.Int();
    if (!low || !high || *low > *high) return std::nullopt;
    request.ranges.push_back({*low, *high});
  }
  if (!fields.AtEnd()) return std::nullopt;
  return request;
}

bool AscendingAndDisjoint(const std::vector<IdRange>& ranges) {
  for (std::size_t i = 1; i < ranges.size(); ++i) {
    if (ranges[i].low <= ranges[i - 1].high) return false;
  }
  return true;
}

}  // namespace

std::string BuildRangeDigestRequest(const DigestRangesRequest& request) {
  return BuildRanges(request);
}

std::optional<DigestRangesRequest> ParseRangeDigestRequest(std::string_view payload) {
  return ParseRanges(payload);
}

std::string BuildRangeDigestAnswer(std::span<const RangeDigest> digests) {
  std::string out;
  AppendInt(out, static_cast<std::int64_t>(digests.size()));
  for (const RangeDigest& digest : digests) {
    AppendInt(out, digest.count);
    AppendHash(out, digest.hash);
  }
  return out;
}

std::optional<std::vector<RangeDigest>> ParseRangeDigestAnswer(std::string_view payload) {
  StrictFields fields(payload);
  const std::optional<std::size_t> count = fields.Count(kMaxRangesPerStep);
  if (!count) return std::nullopt;
  std::vector<RangeDigest> digests;
  digests.reserve(*count);
  for (std::size_t i = 0; i < *count; ++i) {
    const std::optional<std::size_t> records =
        fields.Count(std::numeric_limits<std::int32_t>::max());
    const std::optional<std::uint64_t> hash = fields.Hash();
    if (!records || !hash) return std::nullopt;
    digests.push_back({static_cast<std::uint32_t>(*records), *hash});
  }
  if (!fields.AtEnd()) return std::nullopt;
  return digests;
}

std::string BuildRecordDigestRequest(const DigestRangesRequest& request) {
  return BuildRanges(request);
}

std::optional<DigestRangesRequest> ParseRecordDigestRequest(std::string_view payload) {
  std::optional<DigestRangesRequest> request = ParseRanges(payload);
  if (request && !AscendingAndDisjoint(request->ranges)) return std::nullopt;
  return request;
}

std::string BuildRecordDigestAnswer(std::span<const RecordDigest> records) {
  std::string out;
  AppendInt(out, static_cast<std::int64_t>(records.size()));
  for (const RecordDigest& record : records) {
    AppendInt(out, record.id);
    AppendHash(out, record.digest);
  }
  return out;
}

std::optional<std::vector<RecordDigest>> ParseRecordDigestAnswer(std::string_view payload) {
  StrictFields fields(payload);
  const std::optional<std::size_t> count = fields.Count(kMaxRecordsPerStep);
  if (!count) return std::nullopt;
  std::vector<RecordDigest> records;
  records.reserve(*count);
  for (std::size_t i = 0; i < *count; ++i) {
    const std::optional<std::int32_t> id = fields.Int();
    const std::optional<std::uint64_t> digest = fields.Hash();
    if (!id || !digest || (!records.empty() && *id <= records.back().id)) return std::nullopt;
    records.push_back({*id, *digest});
  }
  if (!fields.AtEnd()) return std::nullopt;
  return records;
}

std::string BuildCheckStep(CheckStep step, std::string_view body) {
  std::string payload{static_cast<char>(step), kSeparator};
  return payload.append(body);
}

std::optional<std::pair<CheckStep, std::string_view>> ParseCheckStep(std::string_view payload) {
  if (payload.size() < 2 || payload[1] != kSeparator) return std::nullopt;
  for (const CheckStep step :
       {CheckStep::kRanges, CheckStep::kRecords, CheckStep::kEnd, CheckStep::kFailed}) {
    if (payload[0] == static_cast<char>(step)) return std::pair{step, payload.substr(2)};
  }
  return std::nullopt;
}

}  // namespace tramolin
