// The Firebird layer's pure parts: named parameters and day counts.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/fb/day_count.h"
#include "engine/fb/error.h"
#include "engine/fb/sql_parameters.h"

namespace tramolin::fb {
namespace {

TEST(SqlParametersTest, NamesBecomeMarkersInOrderAndUpperCase) {
  const PositionalSql sql = ToPositional("UPDATE T SET A=:a, B = :Id_2 WHERE ID=:ID");
  EXPECT_EQ(sql.text, "UPDATE T SET A=?, B = ? WHERE ID=?");
  EXPECT_EQ(sql.markers, (std::vector<std::string>{"A", "ID_2", "ID"}));
}

TEST(SqlParametersTest, ColonsInsideLiteralsIdentifiersAndCommentsStayText) {
  const PositionalSql sql = ToPositional(
      "SELECT 'a:b', 'it''s :x', \"C:D\" /* :y */ FROM T -- :z\nWHERE X=:X AND T > '12:30'");
  EXPECT_EQ(sql.markers, (std::vector<std::string>{"X"}));
  EXPECT_EQ(sql.text,
            "SELECT 'a:b', 'it''s :x', \"C:D\" /* :y */ FROM T -- :z\nWHERE X=? AND T > '12:30'");
}

TEST(SqlParametersTest, NamesMayContainDollarAndLoneOrDoubledColonIsText) {
  const PositionalSql sql = ToPositional("SELECT :CENA$ FROM T WHERE A = : B AND C = ::C");
  EXPECT_EQ(sql.markers, (std::vector<std::string>{"CENA$"}));
  EXPECT_EQ(sql.text, "SELECT ? FROM T WHERE A = : B AND C = :C");
}

TEST(SqlParametersTest, UnterminatedLiteralTakesTheRest) {
  const PositionalSql sql = ToPositional("SELECT 'abc :X");
  EXPECT_TRUE(sql.markers.empty());
  EXPECT_EQ(sql.text, "SELECT 'abc :X");
}

TEST(DayCountTest, OriginAndNoonOfAKnownDay) {
  const IscTimestamp origin = ToIscTimestamp(0.0);
  EXPECT_EQ(origin.date, 15018);
  EXPECT_EQ(origin.time, 0u);
  const IscTimestamp noon = ToIscTimestamp(45123.5);  // 2023-07-16 12:00
  EXPECT_EQ(noon.date, 15018 + 45123);
  EXPECT_EQ(noon.time, 432000000u);
  EXPECT_DOUBLE_EQ(FromIscTimestamp(noon.date, noon.time), 45123.5);
}

TEST(DayCountTest, BeforeOriginKeepsTheTimeOfDayPositive) {
  const IscTimestamp stamp = ToIscTimestamp(-1.25);  // 1899-12-29 06:00
  EXPECT_EQ(stamp.date, 15017);
  EXPECT_EQ(stamp.time, 216000000u);
  EXPECT_DOUBLE_EQ(FromIscTimestamp(stamp.date, stamp.time), -1.25);
}

TEST(DayCountTest, ATimeRoundingUpToMidnightMovesToTheNextDay) {
  const IscTimestamp stamp = ToIscTimestamp(10.0 - 1e-12);
  EXPECT_EQ(stamp.date, 15028);
  EXPECT_EQ(stamp.time, 0u);
  const IscTimestamp before_origin = ToIscTimestamp(-2.0 + 1e-12);  // 1899-12-29 23:59:59.99...
  EXPECT_EQ(before_origin.date, 15018);
  EXPECT_EQ(before_origin.time, 0u);
}

TEST(DayCountTest, OnlyTheYearsOneTo9999AreStorable) {
  for (double day_count : {0.0, -693593.0, -693593.75, 2958465.9}) {
    EXPECT_TRUE(IsStorableDayCount(day_count)) << day_count;
  }
  const double inf = std::numeric_limits<double>::infinity();
  const double rounds_to_year_10000 = std::nextafter(2958466.0, 0.0);
  for (double day_count :
       {-693594.0, 2958466.0, rounds_to_year_10000, 1e300, -1e300, inf, -inf, std::nan("")}) {
    EXPECT_FALSE(IsStorableDayCount(day_count)) << day_count;
    EXPECT_THROW(ToIscTimestamp(day_count), Error) << day_count;
  }
}

}  // namespace
}  // namespace tramolin::fb
