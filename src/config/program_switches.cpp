#include "config/program_switches.h"

#include "platform/system_info.h"
#include "util/cp1250.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

std::string VersionText() { return Concat({"Tramolin 2, wersja "_cp, TRAMOLIN_VERSION, "\n"}); }

std::string HelpText() {
  return Concat(
      {VersionText(),
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
       "  --technician HOST:PORT POLECENIE [ARGUMENT]\n"
       "              konsola technika w terminalu: jedno polecenie do serwera,\n"
       "              odpowiedź na standardowym wyjściu. POLECENIE: 0 wiadomość,\n"
       "              1 status serwera, 2 status klientów, 3 nasłuch (do Ctrl+C),\n"
       "              4 koniec nasłuchu, 5 zapis logu, 6 usuń klienta (numer od 0),\n"
       "              7 SQL, 21 porównanie tabeli z kopią (\"KOPIA;TABELA[;napraw]\").\n"
       "              Zamiast ustawień [Klient] z Tramolin2.ini:\n"
       "              --key=KLUCZ, --tls=0|1, --fingerprint=ODCISK; --timeout=SEKUNDY\n"
       "              (30) na odpowiedź. Kod wyjścia: 0 odpowiedź, 1 brak połączenia,\n"
       "              odmowa lub brak odpowiedzi (powód na stderr), 2 złe wywołanie\n"
       "  --status    stan kopii od serwera z tego folderu (127.0.0.1, port i klucz\n"
       "              z [Server]): zaległość, ostatnia wymiana, ostatni błąd; --json,\n"
       "              --max-backlog=WPISY, --max-silence=MINUTY, --port=PORT, --key=KLUCZ.\n"
       "              Kod wyjścia 3, gdy kopia przekracza próg\n"
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
