// What the server knows of every copy of its database beyond the connections of the moment: how
// many journal entries wait for the copy (its backlog), when an exchange with it last succeeded,
// and its last failure, kept until an exchange succeeds again. Fed by the exchange's results and
// by counts of the whole journal, which are made on demand and at most every kFleetCountInterval.
// Pure state, on the event loop's thread.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/change_batch.h"
#include "server/client_slot.h"

namespace tramolin {

// A count of the whole journal is not made again sooner than this after the last one (days).
inline constexpr double kFleetCountInterval = 3.0 / (24 * 60);

// One copy as a report or a monitoring tool sees it, at the time `Copies` was asked.
struct CopyStatus {
  std::int32_t copy = 0;
  std::string description;        // code page 1250
  std::int64_t backlog = -1;      // -1: not counted since the server started
  std::int64_t backlog_age = -1;  // seconds since it was counted; -1 with no count
  std::string last_exchange;      // "yyyy-mm-dd hh:nn:ss"; empty: none since the server started
  std::int64_t silence = 0;       // seconds since the last exchange, or since the server started
  bool connected = false;
  std::string error;       // the copy's last failure, until an exchange succeeds; code page 1250
  std::string last_check;  // the last table check's summary; code page 1250

  friend bool operator==(const CopyStatus&, const CopyStatus&) = default;
};

class FleetBook {
 public:
  explicit FleetBook(double started) : started_(started) {}

  // Whether a count of the whole journal is due: none yet, or the last one older than the interval.
  bool CountDue(double now) const;
  // A count of the whole journal: every copy it names, with its description and backlog.
  void Counted(const std::vector<CopyBacklog>& copies, double now);
  // The backlog the exchange counted for one copy.
  void BacklogSeen(std::int32_t copy, std::int64_t entries, double now);
  void Exchanged(std::int32_t copy, double now);
  void Checked(std::int32_t copy, std::string summary);
  double LastExchange(std::int32_t copy) const;

  // The failure a copy's slot ended with, recalled by its next slot; cleared by a success.
  void RememberError(std::int32_t copy, std::string_view error);
  std::optional<std::string> RememberedError(std::int32_t copy) const;
  void ClearError(std::int32_t copy);

  // Every copy known from a count or an exchange, by number; a connected copy's description and
  // error are its slot's.
  std::vector<CopyStatus> Copies(const std::vector<TKlientInfo>& slots, double now) const;

 private:
  struct Entry {
    std::string description;
    std::int64_t backlog = -1;
    double backlog_time = 0;
    double last_exchange = 0;
    std::optional<std::string> error;
    std::string last_check;
  };

  Entry& At(std::int32_t copy) { return copies_[copy]; }

  double started_;
  std::optional<double> counted_;  // the last count of the whole journal
  std::map<std::int32_t, Entry> copies_;
};

// Whether a slot is a copy's (not a technician's, and verified).
bool IsCopySlot(const TKlientInfo& slot);

}  // namespace tramolin
