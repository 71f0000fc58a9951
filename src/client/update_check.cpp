#include "client/update_check.h"

#include <system_error>

#include "util/cp1250.h"

namespace tramolin {
namespace {

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

std::string PercentEncode(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(bytes.size() * 3);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsUnreserved(byte)) {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0x0F];
    }
  }
  return encoded;
}

}  // namespace

bool AnyMarkerFileExists(const std::filesystem::path& directory, std::string_view list) {
  while (!list.empty()) {
    const std::size_t end = list.find(';');
    const std::string_view entry = list.substr(0, end);
    list = end == std::string_view::npos ? std::string_view() : list.substr(end + 1);
    if (entry.empty()) continue;
    std::error_code error;
    if (std::filesystem::is_regular_file(directory / Cp1250ToUtf8(entry), error)) return true;
  }
  return false;
}

std::string EncodeQueryValue(std::string_view text) {
  std::string blanks_replaced(text);
  for (char& c : blanks_replaced) {
    if (c == ' ') c = '_';
  }
  return PercentEncode(Cp1250ToUtf8(blanks_replaced));
}

std::string UpdateCheckQuery(std::string_view p, std::string_view number, std::string_view name,
                             std::string_view version) {
  std::string query = "?wersja=" + EncodeQueryValue(number);
  query.append("&p=").append(p);
  AppendQueryParam(query, "f", name);
  AppendQueryParam(query, "x1", version);
  return query;
}

void AppendQueryParam(std::string& query, std::string_view name, std::string_view value) {
  query.append("&").append(name).append("=").append(EncodeQueryValue(value));
}

std::string CheckForUpdates(const UpdateCheckSettings& settings, QObject* context,
                            const HttpGetOptions& options) {
  if (AnyMarkerFileExists(settings.program_directory, kUpdateCheckMarkerFiles)) return {};
  if (settings.endpoint.empty()) return {};
  std::string query = UpdateCheckQuery("[R]", settings.customer_number, settings.customer_name,
                                       settings.program_version);
  AppendQueryParam(query, "k", settings.computer_name);
  std::string url = settings.endpoint + query;
  // Nobody waits for the answer, and a failure is nobody's business.
  StartHttpGet(url, context, options, [](const HttpGetResult&) {});
  return url;
}

}  // namespace tramolin
