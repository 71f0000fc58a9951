#include "server/table_check.h"

#include <memory>
#include <utility>

#include "engine/replication_data.h"
#include "engine/table_catalogue.h"
#include "protocol/consistency_payloads.h"
#include "protocol/features.h"
#include "protocol/packet_types.h"
#include "server/client_session.h"
#include "server/replication_server.h"
#include "util/cp1250.h"
#include "util/log_level.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

constexpr std::size_t kIdsShown = 50;  // per list in the report; the count says the rest

std::string IdList(const std::vector<std::int32_t>& ids) {
  std::string text = std::to_string(ids.size());
  for (std::size_t i = 0; i < ids.size() && i < kIdsShown; ++i) {
    text += (i == 0 ? ": " : ", ") + std::to_string(ids[i]);
  }
  if (ids.size() > kIdsShown) text += ", ...";
  return text;
}

std::string OutcomeText(TableCheckOutcome outcome) {
  switch (outcome) {
    case TableCheckOutcome::kDone:
      return std::string("zakończone"_cp);
    case TableCheckOutcome::kGaveWay:
      return std::string("przerwane: kopia rozpoczęła synchronizację"_cp);
    case TableCheckOutcome::kCopyFailed:
      return std::string("przerwane: kopia nie może odczytać tabeli"_cp);
    case TableCheckOutcome::kMainFailed:
      return std::string("przerwane: błąd bazy głównej"_cp);
    case TableCheckOutcome::kBadAnswer:
      return std::string("przerwane: błędna odpowiedź kopii"_cp);
    case TableCheckOutcome::kConnectionGone:
      return std::string("przerwane: kopia rozłączona"_cp);
  }
  return {};
}

bool Equal(const TableDifferences& d) {
  return d.only_main.empty() && d.only_copy.empty() && d.different.empty();
}

}  // namespace

std::string TableCheckSummary(const TableCheckResult& result) {
  const TTableInfo* table = TableInfo(result.table);
  std::string text = Concat(
      {"Porównanie tabeli "_cp, table != nullptr ? table->name : std::to_string(result.table),
       " z kopią "_cp, std::to_string(result.copy), ": ", OutcomeText(result.outcome)});
  if (result.outcome != TableCheckOutcome::kDone) return text;
  const TableDifferences& d = result.differences;
  if (Equal(d)) return text + ", równe"_cp;
  return Concat({text, ", tylko w bazie głównej "_cp, std::to_string(d.only_main.size()),
                 ", tylko w kopii "_cp, std::to_string(d.only_copy.size()), ", różne "_cp,
                 std::to_string(d.different.size())});
}

std::string TableCheckReport(const TableCheckResult& result) {
  std::string text = TableCheckSummary(result) + "\r\n";
  if (result.outcome != TableCheckOutcome::kDone) return text;
  const TableDifferences& d = result.differences;
  text += Concat({"tylko w bazie głównej: "_cp, IdList(d.only_main), "\r\n", "tylko w kopii: "_cp,
                  IdList(d.only_copy), "\r\n", "różne: "_cp, IdList(d.different), "\r\n",
                  "w trakcie wymiany (pominięte): "_cp, IdList(d.in_flight), "\r\n"});
  if (result.repaired) {
    text += Concat({"naprawa: "_cp, std::to_string(*result.repaired),
                    " wpisów dziennika dla kopii, wyśle je następna synchronizacja\r\n"_cp});
  }
  return text;
}

RunningCheck::RunningCheck(std::int32_t copy, std::int32_t table, bool repair, Done done)
    : repair_(repair), done_(std::move(done)) {
  result_.copy = copy;
  result_.table = table;
}

RunningCheck::~RunningCheck() { End(TableCheckOutcome::kConnectionGone); }

void RunningCheck::End(TableCheckOutcome outcome) {
  if (!done_) return;
  result_.outcome = outcome;
  if (outcome == TableCheckOutcome::kDone && narrowing_) {
    result_.differences = narrowing_->Differences();
  }
  std::exchange(done_, nullptr)(result_);
}

std::optional<std::string> TableChecks::Start(ClientSession& copy, std::int32_t table, bool repair,
                                              RunningCheck::Done done) {
  const TKlientInfo& slot = copy.Slot();
  if ((slot.Features & kFeatureTableCheck) == 0) {
    return std::string("kopia nie obsługuje porównania"_cp);
  }
  if (copy.Check() || copy.Busy() || slot.Status != SlotStatus::kLoggedIn) {
    return std::string("kopia jest zajęta, spróbuj ponownie"_cp);
  }
  WorkerPool* workers = server_.Workers();
  if (workers == nullptr) return std::string("Brak połączenia z bazą danych"_cp);
  copy.Check() = std::make_unique<RunningCheck>(slot.DBNR, table, repair, std::move(done));
  const std::int32_t copy_number = slot.DBNR;
  copy.RunJob<std::optional<TDigestSet>>(
      *workers, {server_.IndexOf(copy), copy_number, -1},
      [table, copy_number](ReplicationData& data, HostServices&) {
        return data.ReadTableDigestSet(table, copy_number);
      },
      [this, &copy](std::optional<TDigestSet> digests, JobReport) {
        MainDigestsRead(copy, std::move(digests));
      });
  return std::nullopt;
}

void TableChecks::MainDigestsRead(ClientSession& copy, std::optional<TDigestSet> digests) {
  if (!copy.Check()) return;  // given way meanwhile
  if (!digests) {
    End(copy, TableCheckOutcome::kMainFailed);
    return;
  }
  copy.Check()->Narrowing().emplace(std::move(*digests));
  SendStep(copy);
}

void TableChecks::SendStep(ClientSession& copy) {
  const DigestRequest& request = copy.Check()->Narrowing()->Request();
  const DigestRangesRequest ranges{copy.Check()->Table(), request.ranges};
  copy.Send(pkSprawdzenie,
            request.kind == DigestRequest::Kind::kRangeDigests
                ? BuildCheckStep(CheckStep::kRanges, BuildRangeDigestRequest(ranges))
                : BuildCheckStep(CheckStep::kRecords, BuildRecordDigestRequest(ranges)),
            server_.Host().Closing());
}

void TableChecks::Answered(ClientSession& copy, std::string_view payload) {
  RunningCheck* check = copy.Check().get();
  if (check == nullptr || !check->Narrowing()) return;  // late, or not asked
  const auto step = ParseCheckStep(payload);
  if (step && step->first == CheckStep::kFailed) {
    End(copy, TableCheckOutcome::kCopyFailed);
    return;
  }
  switch (TakeAnswer(*check->Narrowing(), payload)) {
    case NarrowingOutcome::kInProgress:
      SendStep(copy);
      return;
    case NarrowingOutcome::kDone:
      Differences(copy);
      return;
    default:
      End(copy, TableCheckOutcome::kBadAnswer);
      return;
  }
}

NarrowingOutcome TableChecks::TakeAnswer(TDigestNarrowing& narrowing, std::string_view payload) {
  const auto step = ParseCheckStep(payload);
  const bool ranges_asked = narrowing.Request().kind == DigestRequest::Kind::kRangeDigests;
  if (!step || step->first != (ranges_asked ? CheckStep::kRanges : CheckStep::kRecords)) {
    return NarrowingOutcome::kAnswerNotAsked;
  }
  if (ranges_asked) {
    const auto digests = ParseRangeDigestAnswer(step->second);
    return digests ? narrowing.TakeRangeDigests(*digests) : NarrowingOutcome::kAnswerNotAsked;
  }
  const auto records = ParseRecordDigestAnswer(step->second);
  return records ? narrowing.TakeRecordDigests(*records) : NarrowingOutcome::kAnswerNotAsked;
}

// The copy is told the check is over; a repair journals what differs for it.
void TableChecks::Differences(ClientSession& copy) {
  copy.Send(pkSprawdzenie, BuildCheckStep(CheckStep::kEnd), server_.Host().Closing());
  RunningCheck& check = *copy.Check();
  const TableDifferences& found = check.Narrowing()->Differences();
  WorkerPool* workers = server_.Workers();
  if (!check.Repair() || Equal(found) || workers == nullptr) {
    End(copy, TableCheckOutcome::kDone);
    return;
  }
  RepairOrder order{check.Result().copy, check.Table(), found.only_main, found.only_copy};
  order.resend.insert(order.resend.end(), found.different.begin(), found.different.end());
  copy.RunJob<std::optional<std::int32_t>>(
      *workers, {server_.IndexOf(copy), order.copy, -1},
      [order](ReplicationData& data, HostServices&) { return data.JournalRepair(order); },
      [this, &copy](std::optional<std::int32_t> written, JobReport) {
        if (!copy.Check()) return;
        copy.Check()->Result().repaired = written;
        End(copy, written ? TableCheckOutcome::kDone : TableCheckOutcome::kMainFailed);
      });
}

void TableChecks::GiveWay(ClientSession& copy) {
  if (copy.Check()) End(copy, TableCheckOutcome::kGaveWay);
}

void TableChecks::End(ClientSession& copy, TableCheckOutcome outcome) {
  const std::unique_ptr<RunningCheck> check = std::move(copy.Check());
  check->End(outcome);
  server_.Fleet().Checked(check->Result().copy, TableCheckSummary(check->Result()));
  server_.Host().Log(TableCheckSummary(check->Result()), kLogProgress);
}

}  // namespace tramolin
