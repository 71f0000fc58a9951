#include "engine/sending_cycle.h"

#include <algorithm>

namespace tramolin {

void SendingCycle::Restart() {
  pending_.reset();
  in_flight_ = kNoBatchInFlight;
  DropAhead();
}

void SendingCycle::DropAhead() {
  ahead_.reset();
  preparing_ahead_ = false;
  ++ticket_;
}

ExportCycle SendingCycle::NextExport() const { return {pending_, kNoBatchInFlight}; }

void SendingCycle::Sent(const PreparedChanges& batch) {
  pending_ = batch.total;
  in_flight_ = batch.count > 0 ? batch.transaction_number : kNoBatchInFlight;
  in_flight_marked_ = batch.count > 0 ? batch.marked : 0;
}

void SendingCycle::Confirmed(std::int32_t removed) {
  if (pending_) pending_ = std::max(0, *pending_ - removed);
  in_flight_ = kNoBatchInFlight;
  in_flight_marked_ = 0;
}

bool SendingCycle::WorthPreparingAhead(const PreparedChanges& sent) const {
  return sent.cut && in_flight_ == sent.transaction_number;
}

// The batch ahead counts what will be pending once the confirmation has deleted what the batch
// in flight marked.
ExportCycle SendingCycle::BeginAhead() {
  DropAhead();
  preparing_ahead_ = true;
  if (!pending_) return {std::nullopt, in_flight_};
  return {std::max(0, *pending_ - in_flight_marked_), in_flight_};
}

bool SendingCycle::AheadPrepared(Ticket ticket, std::optional<PreparedChanges> batch) {
  if (ticket != ticket_) return false;
  ahead_ = std::move(batch);
  preparing_ahead_ = false;
  return in_flight_ == kNoBatchInFlight;
}

std::optional<PreparedChanges> SendingCycle::TakeAhead() {
  std::optional<PreparedChanges> batch = std::move(ahead_);
  DropAhead();
  if (in_flight_ != kNoBatchInFlight) return std::nullopt;
  return batch;
}

bool SendingCycle::ConfirmedBeforeDeletion() {
  if ((!ahead_ && !preparing_ahead_) || in_flight_ == kNoBatchInFlight) return false;
  Confirmed(in_flight_marked_);
  return true;
}

}  // namespace tramolin
