#include "config/program_switches.h"

#include "platform/system_info.h"
#include "util/cp1250.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

std::string VersionText() { return Concat({"Tramolin 2, wersja "_cp, TRAMOLIN_VERSION, "\n"}); }

std::string HelpText() {
  return Concat({VersionText(),
                 "Replikacja bazy danych Firebird: baza główna (serwer) i jej kopie (klienci).\n"
                 "\n"
                 "Użycie: tramolin2 [przełączniki]\n"
                 "  -s          praca jako usługa: bez okna, logi w plikach\n"
                 "  -v          z -s: mimo to okno na pulpicie\n"
                 "  -d          log diagnostyczny (Tramolin2_debug.log)\n"
                 "  -k          kreator konfiguracji przed rozpoczęciem pracy\n"
                 "  -m          pozwala uruchomić kolejną kopię programu\n"
                 "  -ms         bez komunikatu, gdy program już działa\n"
                 "  -min        start z oknem zminimalizowanym\n"
                 "  -serwis     konsola technika (w trybie klienta)\n"
                 "  -h=N        okno programu nadrzędnego o uchwycie N\n"
                 "  -?, --help  ten opis\n"
                 "  --version   wersja programu\n"
                 "\n"
                 "Tramolin2.ini i logi leżą w folderze ze zmiennej środowiska "_cp,
                 kProgramFolderVariable, ",\na bez niej w folderze pliku programu.\n"_cp});
}

}  // namespace

std::optional<std::string> RequestedInformation(const CommandLine& command_line) {
  if (command_line.HasSwitch("-help") || command_line.HasSwitch("?")) return HelpText();
  if (command_line.HasSwitch("-version")) return VersionText();
  return std::nullopt;
}

}  // namespace tramolin
