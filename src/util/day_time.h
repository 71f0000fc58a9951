// Local date and time as a day count: days since 1899-12-30 00:00, the fraction being the time of
// day. Conversions, the one clock read of the program, and the texts of stamps and file names.
#pragma once

#include <string>

namespace tramolin {

struct LocalDateTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;

  friend bool operator==(const LocalDateTime&, const LocalDateTime&) = default;
};

// Day counts before 1899-12-30 keep the time of day as a positive fraction of a negative whole
// day count (-1.25 is 1899-12-29 06:00), the convention of the stored values.
double ToDayCount(const LocalDateTime& when);
// Rounds to the nearest millisecond.
LocalDateTime FromDayCount(double day_count);

// The system's local time now. Everything else in the program takes the time as a parameter.
double NowDayCount();

// "yyyy.mm.dd hh:nn:ss.zzz": the stamp in front of log file lines.
std::string StampText(double day_count);
// "yyyy.mm.dd hh.nn.ss": a stamp that can stand in a file name.
std::string FileTimestamp(double day_count);
// "yyyy-mm-dd": the short date of log lines.
std::string ShortDateText(double day_count);
// "yyyy-mm-dd hh:nn:ss": the short date and the long time of the reports.
std::string DateTimeText(double day_count);

}  // namespace tramolin
