#include "engine/fb/day_count.h"

#include <cmath>

namespace tramolin::fb {

namespace {
constexpr std::int32_t kDayCountOrigin = 15018;   // 1899-12-30 in Firebird's day numbers
constexpr std::int64_t kTicksPerDay = 864000000;  // 86400 s * 10000
}  // namespace

IscTimestamp ToIscTimestamp(double day_count) {
  auto whole = static_cast<std::int64_t>(std::trunc(day_count));
  auto ticks = std::llround(std::fabs(day_count - static_cast<double>(whole)) *
                            static_cast<double>(kTicksPerDay));
  if (ticks >= kTicksPerDay) {
    ticks -= kTicksPerDay;
    whole += day_count < 0 ? -1 : 1;
  }
  return {static_cast<std::int32_t>(whole + kDayCountOrigin), static_cast<std::uint32_t>(ticks)};
}

double FromIscTimestamp(std::int32_t date, std::uint32_t time) {
  const double whole = static_cast<double>(date) - kDayCountOrigin;
  const double fraction = static_cast<double>(time) / static_cast<double>(kTicksPerDay);
  return whole < 0 ? whole - fraction : whole + fraction;
}

}  // namespace tramolin::fb
