// The payloads of a table check: each built payload reads back as it was, its text is the
// documented one, and every malformed payload is refused without throwing.
#include "protocol/consistency_payloads.h"

#include <gtest/gtest.h>

#include <limits>

namespace tramolin {
namespace {

TEST(ConsistencyPayloadsTest, EveryPayloadReadsBackAsBuilt) {
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  const DigestRangesRequest request{29, {{kMin, -1}, {0, 0}, {7, 2147483647}}};
  EXPECT_EQ(BuildRangeDigestRequest(request), "29;3;-2147483648;-1;0;0;7;2147483647;");
  EXPECT_EQ(ParseRangeDigestRequest(BuildRangeDigestRequest(request)), request);
  EXPECT_EQ(ParseRecordDigestRequest(BuildRecordDigestRequest(request)), request);

  const std::vector<RangeDigest> ranges{{0, 0}, {2147483647, 0xFFFFFFFFFFFFFFFFu}};
  EXPECT_EQ(BuildRangeDigestAnswer(ranges), "2;0;0;2147483647;ffffffffffffffff;");
  EXPECT_EQ(ParseRangeDigestAnswer(BuildRangeDigestAnswer(ranges)), ranges);

  const std::vector<RecordDigest> records{{-5, 0x1a}, {12, 0}};
  EXPECT_EQ(BuildRecordDigestAnswer(records), "2;-5;1a;12;0;");
  EXPECT_EQ(ParseRecordDigestAnswer(BuildRecordDigestAnswer(records)), records);
  EXPECT_EQ(ParseRecordDigestAnswer("0;"), std::vector<RecordDigest>{});
}

TEST(ConsistencyPayloadsTest, MalformedPayloadsAreRefused) {
  const std::string too_many_ranges = std::to_string(kMaxRangesPerStep + 1) + ";";
  const std::string too_many_records = std::to_string(kMaxRecordsPerStep + 1) + ";";
  const char* const range_requests[] = {
      "",       "29;",       "29;1;5;",   "29;1;5;6",  "29;1;5;6;7;",        "-1;0;",
      "29;-1;", "29;1;6;5;", "29;1;x;6;", "29;2;1;2;", "29;1;1;2147483648;", "29;99999999999;"};
  for (const char* payload : range_requests) {
    EXPECT_FALSE(ParseRangeDigestRequest(payload)) << payload;
    EXPECT_FALSE(ParseRecordDigestRequest(payload)) << payload;
  }
  EXPECT_FALSE(ParseRangeDigestRequest("29;" + too_many_ranges));
  EXPECT_TRUE(ParseRangeDigestRequest("29;2;5;9;1;3;"));  // any order for range digests
  EXPECT_FALSE(ParseRecordDigestRequest("29;2;5;9;1;3;"));
  EXPECT_FALSE(ParseRecordDigestRequest("29;2;1;5;5;9;"));  // overlapping

  const char* const answers[] = {
      "", "1;", "1;5;", "1;5;g;", "1;5;A;", "1;5;12345678901234567;", "1;5;;", "1;5;1;x", "2;5;1;"};
  for (const char* payload : answers) {
    EXPECT_FALSE(ParseRangeDigestAnswer(payload)) << payload;
    EXPECT_FALSE(ParseRecordDigestAnswer(payload)) << payload;
  }
  EXPECT_FALSE(ParseRangeDigestAnswer("1;-1;0;"));  // a negative count
  EXPECT_FALSE(ParseRangeDigestAnswer(too_many_ranges));
  EXPECT_FALSE(ParseRecordDigestAnswer(too_many_records));
  EXPECT_FALSE(ParseRecordDigestAnswer("2;7;1;7;2;"));  // ids not ascending
}

}  // namespace
}  // namespace tramolin
