// A table check the server runs against one copy between its cycles, when both agreed on
// kFeatureTableCheck: the main database's digests of the table are read on the copy's session
// worker, the narrowing's steps go to the copy as pkSprawdzenie and come back as
// pkSprawdzenieOdp, and what differs is reported and, when asked, repaired by journal entries
// for the copy (the ordinary path: the next cycle sends the main database's version). The check
// gives way to the copy's next cycle.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "engine/digest_narrowing.h"

namespace tramolin {

class ClientSession;
class ReplicationServer;

enum class TableCheckOutcome {
  kDone,
  kGaveWay,     // the copy began a cycle
  kCopyFailed,  // the copy could not read its table
  kMainFailed,  // the main database's table or the repair failed
  kBadAnswer,   // an answer that does not fit what was asked
  kConnectionGone,
};

struct TableCheckResult {
  TableCheckOutcome outcome = TableCheckOutcome::kDone;
  std::int32_t copy = 0;
  std::int32_t table = 0;
  TableDifferences differences;
  std::optional<std::int32_t> repaired;  // entries journalled, when a repair was asked and made
};

// The result as the technician reads it (code page 1250, lines ending in CR LF), and in one line
// for the log and the clients report.
std::string TableCheckReport(const TableCheckResult& result);
std::string TableCheckSummary(const TableCheckResult& result);

// A check under way, kept by the copy's session. Ends (its callback called once) when it is done
// or given up, or with kConnectionGone when the session goes first.
class RunningCheck {
 public:
  using Done = std::function<void(const TableCheckResult&)>;
  RunningCheck(std::int32_t copy, std::int32_t table, bool repair, Done done);
  ~RunningCheck();
  RunningCheck(const RunningCheck&) = delete;
  RunningCheck& operator=(const RunningCheck&) = delete;

  std::int32_t Table() const { return result_.table; }
  bool Repair() const { return repair_; }
  std::optional<TDigestNarrowing>& Narrowing() { return narrowing_; }
  TableCheckResult& Result() { return result_; }
  void End(TableCheckOutcome outcome);

 private:
  TableCheckResult result_;
  bool repair_;
  Done done_;
  std::optional<TDigestNarrowing> narrowing_;  // once the main database's digests are read
};

// The server's side of every check: starting one on a copy's session, its steps, giving way.
class TableChecks {
 public:
  explicit TableChecks(ReplicationServer& server) : server_(server) {}

  // Starts a check of `table` on the copy's session; the reason (code page 1250) when it cannot
  // start now: the copy did not agree on checks, is busy or is already being checked.
  std::optional<std::string> Start(ClientSession& copy, std::int32_t table, bool repair,
                                   RunningCheck::Done done);
  // The copy's answer to the last step.
  void Answered(ClientSession& copy, std::string_view payload);
  // The copy begins a cycle: its check, if any, is given up.
  void GiveWay(ClientSession& copy);

 private:
  void MainDigestsRead(ClientSession& copy, std::optional<TDigestSet> digests);
  void SendStep(ClientSession& copy);
  NarrowingOutcome TakeAnswer(TDigestNarrowing& narrowing, std::string_view payload);
  void Differences(ClientSession& copy);
  void End(ClientSession& copy, TableCheckOutcome outcome);

  ReplicationServer& server_;
};

}  // namespace tramolin
