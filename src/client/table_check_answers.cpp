#include "client/table_check_answers.h"

#include <utility>

#include "protocol/consistency_payloads.h"

namespace tramolin {
namespace {

std::optional<DigestRangesRequest> RequestOf(CheckStep step, std::string_view body) {
  switch (step) {
    case CheckStep::kRanges:
      return ParseRangeDigestRequest(body);
    case CheckStep::kRecords:
      return ParseRecordDigestRequest(body);
    default:
      return std::nullopt;
  }
}

}  // namespace

std::optional<std::int32_t> TableCheckAnswers::TableToRead(std::string_view step) const {
  const auto parsed = ParseCheckStep(step);
  if (!parsed) return std::nullopt;
  const std::optional<DigestRangesRequest> request = RequestOf(parsed->first, parsed->second);
  if (!request || table_ == request->table_number) return std::nullopt;
  return request->table_number;
}

void TableCheckAnswers::Read(std::int32_t table, std::optional<TDigestSet> digests) {
  table_ = table;
  digests_ = std::move(digests);
}

std::optional<std::string> TableCheckAnswers::Answer(std::string_view step) {
  const auto parsed = ParseCheckStep(step);
  if (!parsed) return std::nullopt;
  if (parsed->first == CheckStep::kEnd) {
    Drop();
    return std::nullopt;
  }
  const std::optional<DigestRangesRequest> request = RequestOf(parsed->first, parsed->second);
  if (!request || !digests_ || table_ != request->table_number) {
    return BuildCheckStep(CheckStep::kFailed);
  }
  if (parsed->first == CheckStep::kRanges) {
    return BuildCheckStep(CheckStep::kRanges,
                          BuildRangeDigestAnswer(AnswerRangeDigests(*digests_, request->ranges)));
  }
  const auto records = AnswerRecordDigests(*digests_, request->ranges);
  if (!records) return BuildCheckStep(CheckStep::kFailed);
  return BuildCheckStep(CheckStep::kRecords, BuildRecordDigestAnswer(*records));
}

void TableCheckAnswers::Drop() {
  table_.reset();
  digests_.reset();
}

}  // namespace tramolin
