#include "util/text_rules.h"

#include <gtest/gtest.h>

#include "util/cp1250.h"
#include "util/log_throttle.h"

namespace tramolin {
namespace {

TEST(DurationTextTest, DaysThenTimeOfDay) {
  EXPECT_EQ(DurationText(0), "00:00:00");
  EXPECT_EQ(DurationText(0.5), "12:00:00");
  EXPECT_EQ(DurationText(1.0), "1 dzień 00:00:00"_cp);
  EXPECT_EQ(DurationText(1.25), "1 dzień 06:00:00"_cp);
  EXPECT_EQ(DurationText(12.0), "12 dni 00:00:00"_cp);
  EXPECT_EQ(DurationText(2 + (3 * 3600 + 4 * 60 + 5) / 86400.0), "2 dni 03:04:05"_cp);
}

TEST(DurationTextTest, AlmostAWholeDayRoundsIntoTheDays) {
  EXPECT_EQ(DurationText(0.9999999999), "1 dzień 00:00:00"_cp);
  EXPECT_EQ(DurationText(59.0 / 86400 + 0.0004 / 86400), "00:00:59");
}

TEST(DatabaseParamsTest, ThreeLinesEachEndingInCrLf) {
  EXPECT_EQ(DatabaseParams("sysdba", " p "),
            "user_name=sysdba\r\npassword= p \r\nlc_ctype=WIN1250\r\n");
}

TEST(DatabasePathTest, JoinsServerDirectoryAndFile) {
  EXPECT_EQ(DatabasePath("serwer", "C:\\Bazy", "baza.fdb"), "serwer:C:\\Bazy\\baza.fdb");
  EXPECT_EQ(DatabasePath("serwer2", "/var/db", "baza.fdb"), "serwer2:/var/db/baza.fdb");
  EXPECT_EQ(DatabasePath("localhost:", "D:\\Dane\\", "x.fdb"), "localhost:D:\\Dane\\x.fdb");
  EXPECT_EQ(DatabasePath("127.0.0.1/3051", "/var/db/", "x.fdb"), "127.0.0.1/3051:/var/db/x.fdb");
  EXPECT_EQ(DatabasePath(" srv ", " /d ", " x.fdb "), "srv:/d/x.fdb");
}

TEST(DatabasePathTest, EmptyDirectoryOrFileIsAppendedAsItIs) {
  EXPECT_EQ(DatabasePath("srv", "", "x.fdb"), "srv:x.fdb");
  EXPECT_EQ(DatabasePath("srv", "velmo", ""), "srv:velmo");
}

TEST(DatabasePathTest, EmptyServerGivesAPlainLocalPath) {
  EXPECT_EQ(DatabasePath("", "/var/db", "x.fdb"), "/var/db/x.fdb");
  EXPECT_EQ(DatabasePath("  ", "", "/tmp/x.fdb"), "/tmp/x.fdb");
}

TEST(SameVersionPrefixTest, FirstThreePartsMustAgree) {
  EXPECT_TRUE(SameVersionPrefix("2.1.5.100", "2.1.5.201"));
  EXPECT_FALSE(SameVersionPrefix("2.1.5.100", "2.1.6.100"));
  EXPECT_FALSE(SameVersionPrefix("2.1.5", "2.1.5"));
  EXPECT_TRUE(SameVersionPrefix("1.2.3.", "1.2.3.9"));
  EXPECT_FALSE(SameVersionPrefix("2.10.5.1", "2.1.5.1"));
}

TEST(ConcatTest, JoinsPartsIncludingEmptyOnesAndNulBytes) {
  EXPECT_EQ(Concat({"a", "", std::string_view("b\0c", 3)}), std::string("ab\0c", 4));
  EXPECT_EQ(Concat({}), "");
}

TEST(TrimTest, RemovesBlanksAndControlsAtBothEnds) {
  EXPECT_EQ(Trim("\t a b\r\n"), "a b");
  EXPECT_EQ(Trim(" \x01 "), "");
}

TEST(LoggablePeerTextTest, ControlsBecomeBlanksAndLongTextsAreCut) {
  EXPECT_EQ(LoggablePeerText("a\r\n2026.12.09 X\tb\x7f"
                             "c"),
            "a  2026.12.09 X b c");
  EXPECT_EQ(LoggablePeerText("abcdefgh", 8), "abcdefgh");
  EXPECT_EQ(LoggablePeerText("abcdefghi", 8), "abcde...");
  EXPECT_EQ(LoggablePeerText(std::string(1'000'000, 'x')).size(), kPeerTextLimit);
  EXPECT_EQ(LoggablePeerText("zażółć"_cp), "zażółć"_cp) << "letters of code page 1250 stay";
}

TEST(LoggablePeerTextTest, LinesKeepTheirBreaksButNoneStartsLikeAStampedLine) {
  EXPECT_EQ(LoggablePeerLines("Raport:\r\n\r\nKlient[0]\n2026.12.09 X\r", 100),
            "Raport:\r\n  \r\n  Klient[0]\r\n  2026.12.09 X\r\n  ");
  EXPECT_EQ(LoggablePeerLines(std::string(500, 'x'), 10), "xxxxxxx...");
}

TEST(LogThrottleTest, OneLinePerPeriodAndTheWithheldAreCounted) {
  LogThrottle throttle(1.0);
  int held_back = -1;
  EXPECT_TRUE(throttle.Allow(10.0, held_back));
  EXPECT_EQ(held_back, 0);
  EXPECT_FALSE(throttle.Allow(10.5, held_back));
  EXPECT_FALSE(throttle.Allow(10.9, held_back));
  EXPECT_TRUE(throttle.Allow(11.0, held_back));
  EXPECT_EQ(held_back, 2);
  EXPECT_TRUE(throttle.Allow(5.0, held_back)) << "a clock set back does not silence the log";
}

TEST(LogThrottleTest, EachKeyIsBoundApartAndLapsedKeysAreForgotten) {
  KeyedLogThrottle throttle(1.0);
  int held_back = -1;
  EXPECT_TRUE(throttle.Allow("a", 10.0, held_back));
  EXPECT_TRUE(throttle.Allow("b", 10.5, held_back));
  EXPECT_FALSE(throttle.Allow("a", 10.5, held_back));
  for (int i = 0; i < 10'000; ++i) throttle.Allow(std::to_string(i), 11.0 + i, held_back);
  EXPECT_LT(throttle.Keys(), 1'000U);
}

}  // namespace
}  // namespace tramolin
