#include "server/fleet_book.h"

#include <algorithm>
#include <cmath>

#include "util/day_time.h"

namespace tramolin {
namespace {

constexpr double kSecondsPerDay = 86'400;

std::int64_t SecondsBetween(double earlier, double later) {
  return std::max<std::int64_t>(0, std::llround((later - earlier) * kSecondsPerDay));
}

const TKlientInfo* SlotOf(const std::vector<TKlientInfo>& slots, std::int32_t copy) {
  for (const TKlientInfo& slot : slots) {
    if (IsCopySlot(slot) && slot.DBNR == copy) return &slot;
  }
  return nullptr;
}

}  // namespace

bool IsCopySlot(const TKlientInfo& slot) { return slot.Serwisant == 0 && slot.DBNR > 0; }

bool FleetBook::CountDue(double now) const {
  return !counted_ || now - *counted_ >= kFleetCountInterval || now < *counted_;
}

void FleetBook::Counted(const std::vector<CopyBacklog>& copies, double now) {
  counted_ = now;
  for (const CopyBacklog& counted : copies) {
    Entry& entry = At(counted.copy);
    entry.description = counted.description;
    entry.backlog = counted.entries;
    entry.backlog_time = now;
  }
}

void FleetBook::BacklogSeen(std::int32_t copy, std::int64_t entries, double now) {
  Entry& entry = At(copy);
  entry.backlog = entries;
  entry.backlog_time = now;
}

void FleetBook::Exchanged(std::int32_t copy, double now) { At(copy).last_exchange = now; }

void FleetBook::Checked(std::int32_t copy, std::string summary) {
  At(copy).last_check = std::move(summary);
}

double FleetBook::LastExchange(std::int32_t copy) const {
  const auto entry = copies_.find(copy);
  return entry == copies_.end() ? 0 : entry->second.last_exchange;
}

void FleetBook::RememberError(std::int32_t copy, std::string_view error) {
  At(copy).error = std::string(error);
}

std::optional<std::string> FleetBook::RememberedError(std::int32_t copy) const {
  const auto entry = copies_.find(copy);
  return entry == copies_.end() ? std::nullopt : entry->second.error;
}

void FleetBook::ClearError(std::int32_t copy) {
  if (const auto entry = copies_.find(copy); entry != copies_.end()) entry->second.error.reset();
}

std::vector<CopyStatus> FleetBook::Copies(const std::vector<TKlientInfo>& slots, double now) const {
  std::map<std::int32_t, Entry> known = copies_;
  for (const TKlientInfo& slot : slots) {
    if (IsCopySlot(slot)) known.try_emplace(slot.DBNR);
  }
  std::vector<CopyStatus> statuses;
  statuses.reserve(known.size());
  for (const auto& [copy, entry] : known) {
    CopyStatus status;
    status.copy = copy;
    status.description = entry.description;
    status.backlog = entry.backlog;
    if (entry.backlog >= 0) status.backlog_age = SecondsBetween(entry.backlog_time, now);
    if (entry.last_exchange > 0) status.last_exchange = DateTimeText(entry.last_exchange);
    status.silence = SecondsBetween(entry.last_exchange > 0 ? entry.last_exchange : started_, now);
    status.error = entry.error.value_or("");
    status.last_check = entry.last_check;
    if (const TKlientInfo* slot = SlotOf(slots, copy)) {
      status.connected = true;
      if (!slot->Opis.empty()) status.description = slot->Opis;
      status.error = slot->LastErrorMsg;
    }
    statuses.push_back(std::move(status));
  }
  return statuses;
}

}  // namespace tramolin
