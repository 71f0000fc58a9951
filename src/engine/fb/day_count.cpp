#include "engine/fb/day_count.h"

#include <charconv>
#include <cmath>
#include <string>

#include "engine/fb/error.h"

namespace tramolin::fb {

namespace {
constexpr std::int32_t kDayCountOrigin = 15018;   // 1899-12-30 in Firebird's day numbers
constexpr std::int64_t kTicksPerDay = 864000000;  // 86400 s * 10000

// Only for a day count within a day of the storable range, whose whole part fits an integer.
IscTimestamp Convert(double day_count) {
  auto whole = static_cast<std::int64_t>(std::trunc(day_count));
  auto ticks = std::llround(std::fabs(day_count - static_cast<double>(whole)) *
                            static_cast<double>(kTicksPerDay));
  if (ticks >= kTicksPerDay) {  // the time of day rounds up to the next midnight
    ticks -= kTicksPerDay;
    ++whole;
  }
  return {static_cast<std::int32_t>(whole + kDayCountOrigin), static_cast<std::uint32_t>(ticks)};
}

}  // namespace

bool IsStorableDayCount(double day_count) {
  // Compared first as numbers: NaN fails both, and a far-off value is never truncated.
  if (!(day_count > kFirstStorableDay - 1 && day_count < kEndOfStorableDays)) return false;
  const std::int32_t date = Convert(day_count).date;
  return date >= kDayCountOrigin + kFirstStorableDay && date < kDayCountOrigin + kEndOfStorableDays;
}

IscTimestamp ToIscTimestamp(double day_count) {
  if (!IsStorableDayCount(day_count)) {
    char text[32];
    char* end = std::to_chars(text, text + sizeof text, day_count).ptr;
    throw Error("Day count outside the years 1 to 9999: " + std::string(text, end));
  }
  return Convert(day_count);
}

double FromIscTimestamp(std::int32_t date, std::uint32_t time) {
  const double whole = static_cast<double>(date) - kDayCountOrigin;
  const double fraction = static_cast<double>(time) / static_cast<double>(kTicksPerDay);
  return whole < 0 ? whole - fraction : whole + fraction;
}

}  // namespace tramolin::fb
