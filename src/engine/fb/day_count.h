// Firebird's date and time storage (days since 1858-11-17, ten-thousandths of a second) to and
// from the program's day count (days since 1899-12-30, time of day as the fraction). Before
// 1899-12-30 the whole part is negative and the time of day stays a positive fraction.
#pragma once

#include <cstdint>

namespace tramolin::fb {

struct IscTimestamp {
  std::int32_t date = 0;   // days since 1858-11-17
  std::uint32_t time = 0;  // 1/10000 s since midnight
};

IscTimestamp ToIscTimestamp(double day_count);
double FromIscTimestamp(std::int32_t date, std::uint32_t time);

}  // namespace tramolin::fb
