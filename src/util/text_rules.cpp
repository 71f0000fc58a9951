#include "util/text_rules.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "util/cp1250.h"

namespace tramolin {
namespace {

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string TimeOfDayText(int64_t seconds) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", static_cast<int>(seconds / 3600),
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
  return buffer;
}

// The text up to and including its third ".", or nothing when it has fewer.
std::optional<std::string_view> ThreePartPrefix(std::string_view version) {
  std::size_t end = 0;
  for (int part = 0; part < 3; ++part) {
    const std::size_t dot = version.find('.', end);
    if (dot == std::string_view::npos) return std::nullopt;
    end = dot + 1;
  }
  return version.substr(0, end);
}

bool IsControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < ' ' || byte == 0x7F;
}

constexpr std::string_view kCutMark = "...";

// The text cut to `limit` characters with the mark at its end when it is longer.
std::string CutTo(std::string text, std::size_t limit) {
  if (text.size() <= limit) return text;
  text.resize(limit > kCutMark.size() ? limit - kCutMark.size() : 0);
  return text.append(kCutMark);
}

}  // namespace

std::string LoggablePeerText(std::string_view text, std::size_t limit) {
  std::string safe(text.substr(0, limit + 1));
  for (char& c : safe) {
    if (IsControl(c)) c = ' ';
  }
  return CutTo(std::move(safe), limit);
}

std::string LoggablePeerLines(std::string_view text, std::size_t limit) {
  std::string safe;
  safe.reserve(std::min(text.size(), limit + 1));
  for (std::size_t i = 0; i < text.size() && safe.size() <= limit; ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      safe.append("\r\n  ");
    } else {
      safe.push_back(IsControl(c) ? ' ' : c);
    }
  }
  return CutTo(std::move(safe), limit);
}

std::string Concat(std::initializer_list<std::string_view> parts) {
  std::size_t size = 0;
  for (const std::string_view part : parts) size += part.size();
  std::string joined;
  joined.reserve(size);
  for (const std::string_view part : parts) joined.append(part);
  return joined;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlankOrControl(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankOrControl(text.back())) text.remove_suffix(1);
  return text;
}

std::string DurationText(double days) {
  constexpr int64_t kMillisecondsPerDay = 86'400'000;
  auto whole = static_cast<int64_t>(std::trunc(days));
  int64_t milliseconds =
      std::llround(std::fabs(days - static_cast<double>(whole)) * kMillisecondsPerDay);
  if (milliseconds >= kMillisecondsPerDay) {
    milliseconds -= kMillisecondsPerDay;
    whole += days < 0 ? -1 : 1;
  }
  std::string text;
  if (whole == 1) {
    text = "1 dzień "_cp;
  } else if (whole > 1) {
    text = std::to_string(whole) + std::string(" dni "_cp);
  }
  return text + TimeOfDayText(milliseconds / 1000);
}

std::string DatabaseParams(std::string_view user, std::string_view password) {
  return Concat({"user_name=", user, "\r\npassword=", password, "\r\nlc_ctype=WIN1250\r\n"});
}

std::string DatabasePath(std::string_view server, std::string_view directory,
                         std::string_view file) {
  server = Trim(server);
  directory = Trim(directory);
  file = Trim(file);
  std::string path(server);
  if (!server.empty() && server.find(':') == std::string_view::npos) path += ':';
  if (directory.empty() || file.empty()) return path + std::string(directory) + std::string(file);
  const bool windows_style = directory.find_first_of(":\\") != std::string_view::npos;
  const char delimiter = windows_style ? '\\' : '/';
  path += directory;
  if (!directory.ends_with(delimiter)) path += delimiter;
  return path + std::string(file);
}

bool SameVersionPrefix(std::string_view a, std::string_view b) {
  const auto prefix_a = ThreePartPrefix(a);
  const auto prefix_b = ThreePartPrefix(b);
  return prefix_a && prefix_b && *prefix_a == *prefix_b;
}

}  // namespace tramolin
