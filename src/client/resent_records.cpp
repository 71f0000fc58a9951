#include "client/resent_records.h"

#include <xxhash.h>

#include "engine/change_batch.h"

namespace tramolin {
namespace {

// Records of batches whose confirmation may not have reached the server that are remembered at
// most (about 100 bytes each); a batch of 1,000,000 characters holds fewer.
constexpr std::size_t kUnconfirmedRecordsLimit = 200'000;

// Taken for every record of every batch on the event loop, beside the import: a fast hash.
ResentRecords::Digest DigestOf(std::string_view text) {
  const XXH128_hash_t hash = XXH3_128bits(text.data(), text.size());
  return {hash.low64, hash.high64};
}

}  // namespace

ResentRecords::Digests ResentRecords::DigestsOf(std::string_view records) {
  Digests digests;
  RecordSpan record;
  while (!records.empty() && NextRecordSpan(records, record)) {
    digests[{record.table_number, record.record_id}] = DigestOf(record.text);
  }
  return digests;
}

std::string ResentRecords::WithoutRepeats(std::string_view records, int& repeats) const {
  if (unconfirmed_.empty()) return std::string(records);
  std::string fresh;
  fresh.reserve(records.size());
  RecordSpan record;
  while (!records.empty()) {
    if (!NextRecordSpan(records, record)) {
      fresh.append(records);  // the import reports the record that does not read
      break;
    }
    const auto known = unconfirmed_.find({record.table_number, record.record_id});
    if (known != unconfirmed_.end() && known->second == DigestOf(record.text)) {
      ++repeats;
    } else {
      fresh.append(record.text);
    }
  }
  return fresh;
}

// Normally only the last batch waits for its confirmation's answer; the records of earlier
// batches stay only while confirmations are lost again and again, and never more than the limit.
void ResentRecords::ConfirmationSent(Digests digests) {
  if (unconfirmed_.size() + digests.size() > kUnconfirmedRecordsLimit) unconfirmed_.clear();
  for (const auto& [key, digest] : digests) unconfirmed_[key] = digest;
  confirming_ = std::move(digests);
  confirmation_sent_ = true;
}

void ResentRecords::ConfirmationTaken() {
  if (!confirmation_sent_) return;
  confirmation_sent_ = false;
  for (const auto& [key, digest] : confirming_) {
    const auto entry = unconfirmed_.find(key);
    if (entry != unconfirmed_.end() && entry->second == digest) unconfirmed_.erase(entry);
  }
  confirming_.clear();
}

void ResentRecords::NothingLeft() {
  unconfirmed_.clear();
  confirming_.clear();
}

}  // namespace tramolin
