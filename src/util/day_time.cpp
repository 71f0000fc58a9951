#include "util/day_time.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>

namespace tramolin {
namespace {

constexpr int64_t kMillisecondsPerDay = 86'400'000;
// Days from 1970-01-01 back to 1899-12-30.
constexpr int64_t kEpochShift = 25'569;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

void CivilFromDays(int64_t days, LocalDateTime& out) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t day_of_era = days - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t month_index = (5 * day_of_year + 2) / 153;
  out.day = static_cast<int>(day_of_year - (153 * month_index + 2) / 5 + 1);
  out.month = static_cast<int>(month_index < 10 ? month_index + 3 : month_index - 9);
  out.year = static_cast<int>(year_of_era + era * 400 + (out.month <= 2 ? 1 : 0));
}

std::string Format(const char* pattern, const LocalDateTime& t) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, pattern, t.year, t.month, t.day, t.hour, t.minute, t.second,
                t.millisecond);
  return buffer;
}

}  // namespace

double ToDayCount(const LocalDateTime& when) {
  const auto whole =
      static_cast<double>(DaysFromCivil(when.year, when.month, when.day) + kEpochShift);
  const double fraction =
      (((when.hour * 60.0 + when.minute) * 60.0 + when.second) * 1000.0 + when.millisecond) /
      static_cast<double>(kMillisecondsPerDay);
  return whole < 0 ? whole - fraction : whole + fraction;
}

LocalDateTime FromDayCount(double day_count) {
  auto whole = static_cast<int64_t>(std::trunc(day_count));
  int64_t milliseconds =
      std::llround(std::fabs(day_count - static_cast<double>(whole)) * kMillisecondsPerDay);
  if (milliseconds >= kMillisecondsPerDay) {
    milliseconds -= kMillisecondsPerDay;
    whole += day_count < 0 ? -1 : 1;
  }
  LocalDateTime out;
  CivilFromDays(whole - kEpochShift, out);
  out.millisecond = static_cast<int>(milliseconds % 1000);
  out.second = static_cast<int>(milliseconds / 1000 % 60);
  out.minute = static_cast<int>(milliseconds / 60'000 % 60);
  out.hour = static_cast<int>(milliseconds / 3'600'000);
  return out;
}

double NowDayCount() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  return ToDayCount({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                     local.tm_min, local.tm_sec, static_cast<int>(now.tv_nsec / 1'000'000)});
}

std::string StampText(double day_count) {
  return Format("%04d.%02d.%02d %02d:%02d:%02d.%03d", FromDayCount(day_count));
}

std::string FileTimestamp(double day_count) {
  return Format("%04d.%02d.%02d %02d.%02d.%02d", FromDayCount(day_count));
}

std::string ShortDateText(double day_count) {
  return Format("%04d-%02d-%02d", FromDayCount(day_count));
}

std::string DateTimeText(double day_count) {
  return Format("%04d-%02d-%02d %02d:%02d:%02d", FromDayCount(day_count));
}

}  // namespace tramolin
