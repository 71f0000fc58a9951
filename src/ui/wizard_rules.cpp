#include "ui/wizard_rules.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

#include "util/cp1250.h"
#include "util/ini_file.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

constexpr std::string_view kVelmoSection = "Baza Danych";

// A decimal integer with optional leading blanks and sign, as the number fields accept it.
std::optional<int> ParseInteger(std::string_view text) {
  std::string_view digits = text;
  while (!digits.empty() && digits.front() == ' ') digits.remove_prefix(1);
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  int value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
    return std::nullopt;
  }
  return value;
}

std::string NotAnInteger(std::string_view text) {
  return "'" + std::string(text) + "' nie jest poprawną liczbą całkowitą"_cp;
}

}  // namespace

std::string NormalisedDirectory(std::string_view directory) {
  const bool windows_style = directory.find_first_of(":\\") != std::string_view::npos;
  const char delimiter = windows_style ? '\\' : '/';
  std::string out(directory);
  if (out.empty() || out.back() != delimiter) out.push_back(delimiter);
  return out;
}

DatabaseFieldsCheck CheckDatabaseFields(DatabaseFields& fields) {
  fields.host = std::string(Trim(fields.host));
  fields.directory = std::string(Trim(fields.directory));
  fields.file = std::string(Trim(fields.file));
  if (fields.directory.empty() && fields.file.empty())
    return DatabaseFieldsCheck::kDirectoryMissing;
  if (!fields.directory.empty() && !fields.file.empty()) {
    fields.directory = NormalisedDirectory(fields.directory);
  }
  return DatabaseFieldsCheck::kUsable;
}

std::string StoredHost(std::string_view host) {
  if (host.empty() || host.find(':') != std::string_view::npos) return std::string(host);
  return std::string(host) + ":";
}

std::optional<std::string> IntegerError(std::string_view text) {
  if (ParseInteger(text)) return std::nullopt;
  return NotAnInteger(text);
}

int PortOrDefault(std::string_view text) {
  return ParseInteger(Trim(text)).value_or(kDefaultReplicationPort);
}

std::string WithoutBlanks(std::string_view text) {
  std::string out(text);
  out.erase(std::remove(out.begin(), out.end(), ' '), out.end());
  return out;
}

bool AutoHourSet(std::string_view stored) {
  const std::string_view trimmed = Trim(stored);
  return !trimmed.empty() && trimmed != ":" && trimmed != "__:__";
}

AutoHourCheck CheckAutoHour(std::string_view text) {
  const std::string_view hour_text = text.substr(0, 2);
  const std::string_view minute_text = text.size() > 3 ? text.substr(3, 2) : std::string_view();
  const std::optional<int> hour = ParseInteger(hour_text);
  if (!hour) return {AutoHourCheck::kConversionError, NotAnInteger(hour_text)};
  const std::optional<int> minute = ParseInteger(minute_text);
  if (!minute) return {AutoHourCheck::kConversionError, NotAnInteger(minute_text)};
  if (*hour < 0 || *hour > 23 || *minute < 0 || *minute > 59) {
    return {AutoHourCheck::kConversionError,
            "'" + std::string(text) + "' nie jest poprawną godziną"_cp};
  }
  char formatted[8];
  std::snprintf(formatted, sizeof formatted, "%02d:%02d", *hour, *minute);
  if (text != formatted) return {AutoHourCheck::kNotCanonical, {}};
  return {};
}

int ShownInterval(int stored) { return std::clamp(stored, kMinInterval, kMaxInterval); }

std::optional<std::string> NormalisedFingerprint(std::string_view text) {
  constexpr std::size_t kDigits = 64;
  std::string digits;
  for (const char c : text) {
    if (c == ':' || c == ' ' || c == '\t') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c)) || digits.size() == kDigits) {
      return std::nullopt;
    }
    digits.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  }
  if (digits.size() != kDigits) return std::nullopt;
  std::string out;
  out.reserve(kDigits / 2 * 3 - 1);
  for (std::size_t i = 0; i < kDigits; i += 2) {
    if (i != 0) out.push_back(':');
    out.append(digits, i, 2);
  }
  return out;
}

DatabaseFields ReadVelmoIni(const std::filesystem::path& file, DatabaseFields current) {
  const IniFile ini(file);
  current.host = ini.ReadString(kVelmoSection, "SQLHost", current.host);
  current.directory = ini.ReadString(kVelmoSection, "SQLPath", current.directory);
  current.file = ini.ReadString(kVelmoSection, "SQLDatabase", current.file);
  return current;
}

DatabaseFields FieldsOfChosenFile(const std::filesystem::path& file) {
  return {"127.0.0.1", NormalisedDirectory(file.parent_path().string()), file.filename().string()};
}

}  // namespace tramolin
