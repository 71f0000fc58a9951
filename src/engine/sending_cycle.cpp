#include "engine/sending_cycle.h"

#include <algorithm>

#include "util/change_payload_header.h"

namespace tramolin {

void SendingCycle::Restart() {
  pending_.reset();
  in_flight_ = kNoBatchInFlight;
  DropAhead();
}

void SendingCycle::DropAhead() {
  ahead_.reset();
  ++ticket_;
}

ExportCycle SendingCycle::NextExport() const { return {pending_, kNoBatchInFlight}; }

void SendingCycle::Sent(const PreparedChanges& batch) {
  pending_ = batch.total;
  in_flight_ = batch.count > 0 ? batch.transaction_number : kNoBatchInFlight;
}

void SendingCycle::Confirmed(std::int32_t removed) {
  if (pending_) pending_ = std::max(0, *pending_ - removed);
  in_flight_ = kNoBatchInFlight;
}

bool SendingCycle::WorthPreparingAhead(const PreparedChanges& sent) const {
  return sent.cut && in_flight_ == sent.transaction_number;
}

ExportCycle SendingCycle::BeginAhead() {
  DropAhead();
  return {pending_, in_flight_};
}

void SendingCycle::AheadPrepared(Ticket ticket, std::optional<PreparedChanges> batch) {
  if (ticket == ticket_) ahead_ = std::move(batch);
}

std::optional<PreparedChanges> SendingCycle::TakeAhead() {
  std::optional<PreparedChanges> batch = std::move(ahead_);
  DropAhead();
  if (!batch || in_flight_ != kNoBatchInFlight) return std::nullopt;
  batch->total = std::max(pending_.value_or(batch->total), batch->count);
  ReplaceChangePayloadHeader(batch->payload, {batch->count, batch->total});
  return batch;
}

}  // namespace tramolin
