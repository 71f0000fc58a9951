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

// The days Firebird can store, the years 1 to 9999, as day counts: the whole part of a storable
// day count lies from kFirstStorableDay up to below kEndOfStorableDays.
inline constexpr std::int32_t kFirstStorableDay = -693593;   // 0001-01-01
inline constexpr std::int32_t kEndOfStorableDays = 2958466;  // 10000-01-01

// False for NaN, the infinities and every moment outside the years 1 to 9999 (after the time of
// day is rounded to Firebird's ten-thousandths of a second).
bool IsStorableDayCount(double day_count);

// Throws Error for a day count that is not storable.
IscTimestamp ToIscTimestamp(double day_count);
double FromIscTimestamp(std::int32_t date, std::uint32_t time);

}  // namespace tramolin::fb
