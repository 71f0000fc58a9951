// Small text rules shared across the program: trimming, durations, the database connection
// parameters and path, and the comparison of program versions.
#pragma once

#include <cstddef>
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

// A text a peer sent, made safe for a log line: every control character (CR and LF included, so
// that no forged line can start) becomes a blank, and a text longer than `limit` is cut there
// and ends with "...".
inline constexpr std::size_t kPeerTextLimit = 2000;
std::string LoggablePeerText(std::string_view text, std::size_t limit = kPeerTextLimit);
// The same for a reply of several lines (a report): line breaks stay, as CR LF, and every line
// after the first starts with two blanks, so none can pass for a stamped line of the log.
std::string LoggablePeerLines(std::string_view text, std::size_t limit);

// True when both versions have at least three dots and agree up to and including the third.
bool SameVersionPrefix(std::string_view a, std::string_view b);

}  // namespace tramolin
