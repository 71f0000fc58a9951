// The check of one table between two in-memory digest sets: an equal table in one step, every kind
// of difference found exactly, and every kind of hostile answer ending the check with its outcome.
#include "engine/digest_narrowing.h"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>

namespace tramolin {
namespace {

using Ids = std::vector<std::int32_t>;
// Changes the copy's honest answer to the request of the given step (1 = first).
using Tamper = std::function<void(std::size_t step, std::vector<RangeDigest>& ranges,
                                  std::vector<RecordDigest>& records)>;

std::vector<RecordDigest> Table(std::int32_t first, std::int32_t last) {
  std::vector<RecordDigest> records;
  for (std::int32_t id = first; id <= last; ++id) {
    records.push_back({id, static_cast<std::uint64_t>(id) * 0x9E3779B97F4A7C15u + 1});
  }
  return records;
}

NarrowingOutcome Exchange(TDigestNarrowing& check, const TDigestSet& copy,
                          const Tamper& tamper = {}) {
  while (check.Outcome() == NarrowingOutcome::kInProgress) {
    const DigestRequest& request = check.Request();
    std::vector<RangeDigest> ranges;
    std::vector<RecordDigest> records;
    if (request.kind == DigestRequest::Kind::kRangeDigests) {
      ranges = AnswerRangeDigests(copy, request.ranges);
    } else {
      records = AnswerRecordDigests(copy, request.ranges).value();
    }
    if (tamper) tamper(check.Steps(), ranges, records);
    if (request.kind == DigestRequest::Kind::kRangeDigests && records.empty()) {
      check.TakeRangeDigests(ranges);
    } else {
      check.TakeRecordDigests(records);
    }
  }
  return check.Outcome();
}

TEST(DigestNarrowingTest, AnEqualTableTakesOneStepWhateverItsSize) {
  TDigestNarrowing check{TDigestSet(Table(1, 200000))};
  EXPECT_EQ(Exchange(check, TDigestSet(Table(1, 200000))), NarrowingOutcome::kDone);
  EXPECT_EQ(check.Steps(), 1u);
  EXPECT_EQ(check.Request().ranges.size(), 64u);
  const TableDifferences& found = check.Differences();
  EXPECT_TRUE(found.only_main.empty() && found.only_copy.empty() && found.different.empty());
}

TEST(DigestNarrowingTest, FindsEveryDifferenceAndWhatIsInFlightOnEitherSide) {
  std::vector<RecordDigest> main = Table(1, 50000);
  std::vector<RecordDigest> copy = Table(1, 50000);
  copy.erase(copy.begin() + 499);                                     // id 500
  copy[6998].digest += 1;                                             // id 7000
  const std::vector<RecordDigest> own = Table(900000000, 900000100);  // the copy's own id range
  copy.insert(copy.end(), own.begin(), own.end());
  TDigestNarrowing check{TDigestSet(WithInFlight(main, Ids{12000, 16000}))};
  EXPECT_EQ(Exchange(check, TDigestSet(WithInFlight(copy, Ids{15000, 16000, 60000}))),
            NarrowingOutcome::kDone);
  const TableDifferences& found = check.Differences();
  EXPECT_EQ(found.only_main, Ids{500});
  EXPECT_EQ(found.different, Ids{7000});
  Ids only_copy(101);
  std::iota(only_copy.begin(), only_copy.end(), 900000000);
  EXPECT_EQ(found.only_copy, only_copy);
  EXPECT_EQ(found.in_flight, (Ids{12000, 15000, 16000, 60000}));
  EXPECT_LE(check.Steps(), 12u);
}

TEST(DigestNarrowingTest, AHostileAnswerEndsTheCheckWithItsOutcome) {
  struct Case {
    const char* name;
    Tamper tamper;
    NarrowingOutcome outcome;
  };
  const auto at = [](std::size_t step, auto change) {
    return
        [=](std::size_t now, std::vector<RangeDigest>& ranges, std::vector<RecordDigest>& records) {
          if (now == step) change(ranges, records);
        };
  };
  using R = std::vector<RangeDigest>;
  using D = std::vector<RecordDigest>;
  const Case cases[] = {
      {"one digest too few", at(1, [](R& r, D&) { r.pop_back(); }),
       NarrowingOutcome::kAnswerNotAsked},
      {"records for ranges",
       at(1,
          [](R&, D& d) {
            d.push_back({1, 2});
          }),
       NarrowingOutcome::kAnswerNotAsked},
      {"more records than ids", at(1, [](R& r, D&) { r[0].count = 0xFFFFFFFFu; }),
       NarrowingOutcome::kCountImpossible},
      {"a copy too large", at(1, [](R& r, D&) { r[0].count = 1u << 25; }),
       NarrowingOutcome::kCountImpossible},
      {"a hash of nothing",
       at(1,
          [](R& r, D&) {
            r[0] = {0, 1};
          }),
       NarrowingOutcome::kAnswerDisagrees},
      {"parts not adding up", at(2, [](R& r, D&) { r[0].hash += 1; }),
       NarrowingOutcome::kAnswerDisagrees},
      {"a record missing", at(4, [](R&, D& d) { d.pop_back(); }),
       NarrowingOutcome::kAnswerDisagrees},
      {"a record changed", at(4, [](R&, D& d) { d.back().digest += 1; }),
       NarrowingOutcome::kAnswerDisagrees},
      {"a record outside",
       at(4,
          [](R&, D& d) {
            d.push_back({2000000000, 5});
          }),
       NarrowingOutcome::kIdOutsideRange},
      {"records out of order", at(4, [](R&, D& d) { std::swap(d.front(), d.back()); }),
       NarrowingOutcome::kIdOutsideRange},
  };
  std::vector<RecordDigest> copy = Table(1, 100000);
  copy[5000].digest += 1;
  for (const Case& c : cases) {
    TDigestNarrowing check{TDigestSet(Table(1, 100000))};
    EXPECT_EQ(Exchange(check, TDigestSet(copy), c.tamper), c.outcome) << c.name;
    EXPECT_EQ(check.TakeRangeDigests({}), c.outcome) << c.name;
  }
}

}  // namespace
}  // namespace tramolin
