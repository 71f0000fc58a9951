// Small text rules shared across the program: trimming, durations, the database connection
// parameters and path, and the comparison of program versions.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace tramolin {

// The parts joined into one string, reserved once.
std::string Concat(std::initializer_list<std::string_view> parts);

// The text without leading and trailing blanks and control characters (bytes up to 0x20).
std::string_view Trim(std::string_view text);

// "1 dzień hh:nn:ss", "<n> dni hh:nn:ss" or "hh:nn:ss"; the whole days are the duration truncated
// towards zero, the time of day is rounded to the second from the millisecond.
std::string DurationText(double days);

// "user_name=<user>", "password=<password>", "lc_ctype=WIN1250", each line ending in CR LF.
std::string DatabaseParams(std::string_view user, std::string_view password);

// The connection string of a database: server (":" added unless it has one), then directory and
// file joined by "\" for a Windows-style directory or "/" otherwise. An empty server gives a plain
// local path with no ":" in front, which the embedded engine opens.
std::string DatabasePath(std::string_view server, std::string_view directory,
                         std::string_view file);

// True when both versions have at least three dots and agree up to and including the third.
bool SameVersionPrefix(std::string_view a, std::string_view b);

}  // namespace tramolin
