#include "engine/database_identity.h"

#include <charconv>

#include "util/cp1250.h"

namespace tramolin {

bool SupportedDatabaseVersion(std::string_view version) {
  const std::size_t dot = version.find('.');
  int major = 0;
  if (dot != std::string_view::npos) {
    const auto [end, error] = std::from_chars(version.data(), version.data() + dot, major);
    if (error != std::errc() || end != version.data() + dot) major = 0;
  }
  return major <= BAZA_VER_HIGH;
}

std::string UnsupportedStructureText(std::string_view version) {
  return "Niezgodna główna wersja struktury bazy danych (oczekiwana: "_cp +
         std::to_string(BAZA_VER_HIGH) + ".XX, zastana: " + std::string(version) +
         ")\r\n(Oczekiwana wersja wyższa od zastanej oznacza konieczność aktualizacji "
         "programu Velmo.exe\r\n niższa oczekiwana wersja oznacza konieczność "
         "aktualizacji programu Tramolin2.exe)"_cp;
}

}  // namespace tramolin
