// The report to the vendor's update-check endpoint at every start of work: customer, program
// version and computer. Sent in the background; the answer is not read and every failure is silent.
#pragma once

#include <QObject>
#include <filesystem>
#include <string>
#include <string_view>

#include "client/http_get.h"

namespace tramolin {

// Marker files in the program's directory that switch the report off.
inline constexpr std::string_view kUpdateCheckMarkerFiles = "noversioncheck.txt;debug_radar.txt";

// What the report says and where it goes. Text is code page 1250.
struct UpdateCheckSettings {
  std::string endpoint{};  // HTTPS URL ending in checkforupdates.php; empty: no report
  std::string customer_number{};
  std::string customer_name{};
  std::filesystem::path program_directory{};  // where the marker files are looked for
  std::string program_version{};              // "" when unknown
  std::string computer_name{};                // "" when it cannot be read
};

// True when one of the ";"-separated file names (empty entries skipped) is an existing file in
// the directory.
bool AnyMarkerFileExists(const std::filesystem::path& directory, std::string_view list);

// Blanks become "_", the text goes from code page 1250 to UTF-8, and every byte but A-Z a-z 0-9
// "-" "." "_" "~" is written as "%XX" (upper-case hexadecimal).
std::string EncodeQueryValue(std::string_view text);

// "?wersja=" number "&p=" p "&f=" name "&x1=" version; p as it stands, the others encoded.
std::string UpdateCheckQuery(std::string_view p, std::string_view number, std::string_view name,
                             std::string_view version);

// Appends "&" + name + "=" + EncodeQueryValue(value); the name as it stands.
void AppendQueryParam(std::string& query, std::string_view name, std::string_view value);

// Sends the report unless a marker file exists or the endpoint is empty, and returns at once with
// the URL requested ("" when nothing was sent). The request belongs to context, which aborts it
// when destroyed (at program exit, say); it ends by itself within the options' time-out.
std::string CheckForUpdates(const UpdateCheckSettings& settings, QObject* context,
                            const HttpGetOptions& options = {});

}  // namespace tramolin
