// The configuration wizard's rules on the texts of its fields: database fields, ports, the hour of
// the automatic synchronisation, the interval, the pinned TLS fingerprint, and the host
// application's "velmo.ini". All texts are code page 1250, as in TConfig. No widgets here.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tramolin {

inline constexpr int kDefaultReplicationPort = 17846;
inline constexpr int kMinInterval = 1;
inline constexpr int kMaxInterval = 60;

struct DatabaseFields {
  std::string host;
  std::string directory;
  std::string file;
};

enum class DatabaseFieldsCheck {
  kUsable,
  kDirectoryMissing,  // neither directory nor file given
};

// Trims the three fields and, when both directory and file are given, normalises the directory.
// An empty host is usable: it stands for the embedded engine (no server).
DatabaseFieldsCheck CheckDatabaseFields(DatabaseFields& fields);

// The directory with its trailing delimiter: "\" for a Windows-style path (one with ":" or "\"),
// "/" otherwise; nothing is added when it already ends with it.
std::string NormalisedDirectory(std::string_view directory);

// The host as stored in DBHOST: ":" appended unless it holds one; empty stays empty.
std::string StoredHost(std::string_view host);

// The error text of converting a port field to an integer, or nullopt when it is one.
std::optional<std::string> IntegerError(std::string_view text);
// The field's number, or 17846 when it is not one.
int PortOrDefault(std::string_view text);

// The allow-list field without any blank.
std::string WithoutBlanks(std::string_view text);

// Whether a stored AutoNaZadanie means an hour is set: trimmed, it is neither empty, ":" nor
// "__:__".
bool AutoHourSet(std::string_view stored);

// The time field "hh:nn" (the hour's first digit may be blank).
struct AutoHourCheck {
  enum Result { kValid, kNotCanonical, kConversionError } result = kValid;
  std::string error;  // the conversion's message for kConversionError
};
AutoHourCheck CheckAutoHour(std::string_view text);

// The interval the arrows show for a stored value: within 1-60.
int ShownInterval(int stored);

// A SHA-256 fingerprint as typed (hexadecimal digits in either case, colons and blanks anywhere)
// written the way the certificate script prints it: "AB:CD:...", 32 bytes. nullopt when the text
// holds anything else or not exactly 64 digits.
std::optional<std::string> NormalisedFingerprint(std::string_view text);

// The fields read from the host application's configuration file (section "Baza Danych":
// SQLHost, SQLPath, SQLDatabase); a missing key leaves its field as it was.
DatabaseFields ReadVelmoIni(const std::filesystem::path& file, DatabaseFields current);

// The fields for a database file chosen on this computer (texts as the file system spells them).
DatabaseFields FieldsOfChosenFile(const std::filesystem::path& file);

}  // namespace tramolin
