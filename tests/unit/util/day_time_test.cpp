#include "util/day_time.h"

#include <gtest/gtest.h>

namespace tramolin {
namespace {

TEST(DayTimeTest, KnownDatesHaveTheirDayCounts) {
  EXPECT_DOUBLE_EQ(ToDayCount({1899, 12, 30, 0, 0, 0, 0}), 0.0);
  EXPECT_DOUBLE_EQ(ToDayCount({1900, 3, 1, 0, 0, 0, 0}), 61.0);
  EXPECT_DOUBLE_EQ(ToDayCount({2000, 1, 1, 12, 0, 0, 0}), 36526.5);
  EXPECT_DOUBLE_EQ(ToDayCount({1899, 12, 29, 6, 0, 0, 0}), -1.25);
}

TEST(DayTimeTest, ConversionRoundTripsToTheMillisecond) {
  for (const LocalDateTime when :
       {LocalDateTime{2011, 3, 7, 14, 5, 9, 123}, LocalDateTime{2024, 2, 29, 23, 59, 59, 999},
        LocalDateTime{1899, 12, 29, 6, 30, 0, 0}}) {
    EXPECT_EQ(FromDayCount(ToDayCount(when)), when);
  }
}

TEST(DayTimeTest, RoundingUpToMidnightCarriesIntoTheNextDay) {
  const LocalDateTime midnight = FromDayCount(ToDayCount({2020, 12, 31, 0, 0, 0, 0}) - 1e-10);
  EXPECT_EQ(midnight, (LocalDateTime{2020, 12, 31, 0, 0, 0, 0}));
  EXPECT_EQ(FromDayCount(40000.9999999999), (LocalDateTime{2009, 7, 7, 0, 0, 0, 0}));
}

TEST(DayTimeTest, TextsUseTheirOwnSeparators) {
  const double when = ToDayCount({2011, 3, 7, 14, 5, 9, 42});
  EXPECT_EQ(StampText(when), "2011.03.07 14:05:09.042");
  EXPECT_EQ(FileTimestamp(when), "2011.03.07 14.05.09");
  EXPECT_EQ(ShortDateText(when), "2011-03-07");
}

TEST(DayTimeTest, NowIsAPlausibleLocalTime) {
  const LocalDateTime now = FromDayCount(NowDayCount());
  EXPECT_GE(now.year, 2020);
  EXPECT_LT(now.year, 2200);
}

}  // namespace
}  // namespace tramolin
