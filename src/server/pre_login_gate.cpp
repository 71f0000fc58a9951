#include "server/pre_login_gate.h"

namespace tramolin {

PreLoginGate::Admission PreLoginGate::Admit(Key connection, const std::string& address,
                                            bool local) {
  const auto found = per_address_.find(address);
  const int from_address = found == per_address_.end() ? 0 : found->second;
  if (from_address >= kPerAddress && !local) return {};
  Admission admission{true, nullptr};
  if (Count() >= kTotal) {
    const auto [heaviest, count] = Heaviest();
    if (count <= from_address + 1) return {};
    admission.evicted = OldestFrom(heaviest);
    Remove(admission.evicted);
  }
  entries_[connection] = {address, next_order_++};
  ++per_address_[address];
  return admission;
}

void PreLoginGate::Remove(Key connection) {
  const auto entry = entries_.find(connection);
  if (entry == entries_.end()) return;
  const auto count = per_address_.find(entry->second.address);
  if (--count->second == 0) per_address_.erase(count);
  entries_.erase(entry);
}

std::pair<std::string, int> PreLoginGate::Heaviest() const {
  std::pair<std::string, int> heaviest{{}, 0};
  for (const auto& [address, count] : per_address_) {
    if (count > heaviest.second) heaviest = {address, count};
  }
  return heaviest;
}

PreLoginGate::Key PreLoginGate::OldestFrom(const std::string& address) const {
  Key oldest = nullptr;
  unsigned long long order = 0;
  for (const auto& [key, entry] : entries_) {
    if (entry.address == address && (oldest == nullptr || entry.order < order)) {
      oldest = key;
      order = entry.order;
    }
  }
  return oldest;
}

}  // namespace tramolin
