#include "engine/table_catalogue.h"

#include "util/cp1250.h"

namespace tramolin {
namespace {

// name, key column, event name, commit each, lock object type, lock id column, log conflicts
constexpr std::array<TTableInfo, kTableCount> kTables = {{
    {"DOKUMENTY", "ID", "DOKUMENT", false, 1, "", true},                      // 0
    {"FAKDETAIL", "ID", "FAKTURA", false, -1, "", false},                     // 1
    {"FAKHEAD", "ID", "FAKTURA", false, -1, "", false},                       // 2
    {"FAKWPLATY", "ID", "FAKTURA", false, -1, "", false},                     // 3
    {"FORMPRODDETAIL", "ID", "", false, -1, "", false},                       // 4
    {"GRUPYADRESATOW", "ID", "", false, -1, "", false},                       // 5
    {"GRUPYETAPU", "ID", "", false, -1, "", false},                           // 6
    {"GRUPYINWESTYCJI", "ID", "", false, -1, "", false},                      // 7
    {"GRUPYKONTRAHENTOW", "ID", "", false, -1, "", false},                    // 8
    {"GRUPYPROJEKGRKONTRAH", "ID", "", false, -1, "", false},                 // 9
    {"GRUPYTOWAROWE", "ID", "", false, -1, "", false},                        // 10
    {"GRUPYUZYTKOWNIKOW", "ID", "", false, -1, "", false},                    // 11
    {"INWESTYCJA", "ID", "PROJEKT", false, 21, "", true},                     // 12
    {"INWESTYCJAETAP", "ID", "ETAP", false, 22, "", true},                    // 13
    {"KONTAKTY", "ID", "KONTAKT", false, 24, "", true},                       // 14
    {"KONTRAHENT", "ID", "KONTRAHENT", false, 25, "", true},                  // 15
    {"KORESPONDENCJA", "ID", "KORESPONDENCJA", false, 26, "", true},          // 16
    {"KORESPONDENCJADZIENNIK", "ID", "KORESPONDENCJA", false, -1, "", true},  // 17
    {"MATDETAIL", "ID", "MATERIAL", false, -1, "", true},                     // 18
    {"MATHEAD", "ID", "MATERIAL", false, 29, "", true},                       // 19
    {"MODYFIKACJE", "ID", "", false, -1, "", false},                          // 20
    {"NOTATKI", "ID", "", false, -1, "", false},                              // 21
    {"OPERATOR", "ID", "", false, -1, "", true},                              // 22
    {"POCZTAHEAD", "ID", "", false, -1, "", false},                           // 23
    {"POLADODATKOWE", "ID", "", false, -1, "", false},                        // 24
    {"POWIADOMIENIA", "ID", "", false, -1, "", false},                        // 25
    {"SESJE", "ID", "", false, -1, "", false},                                // 26
    {"SESJELOG", "ID", "", false, -1, "", false},                             // 27
    {"SLOWNIK", "ID", "", false, -1, "", true},                               // 28
    {"TOWARY", "ID", "TOWAR", false, 42, "", true},                           // 29
    {"TYP", "ID", "", false, -1, "", false},                                  // 30
    {"WIADOMOSCBODY", "ID", "", false, -1, "", false},                        // 31
    {"WIADOMOSCHEAD", "ID", "WIADOMOSCHEAD", false, -1, "", false},           // 32
    {"ZADANIA", "ID", "ZADANIE", false, 46, "", true},                        // 33
    {"ZALACZNIKI", "ID", "ZALACZNIK", false, -1, "", true},                   // 34
    {"ZAMCARGO", "ID", "ZAMOWIENIE", false, -1, "", false},                   // 35
    {"ZAMDETAIL", "ID", "ZAMOWIENIE", false, -1, "", true},                   // 36
    {"ZAMHEAD", "ID", "ZAMOWIENIE", false, 52, "", true},                     // 37
    {"ZAMMAGAZYN", "ID", "ZAMOWIENIE", false, -1, "", false},                 // 38
    {"ZAMPRODDETAIL", "ID", "ZAMOWIENIE", false, -1, "", false},              // 39
    {"ZAMPRODHEAD", "ID", "ZAMOWIENIE", false, -1, "", false},                // 40
    {"ZAMSERIAL", "ID", "ZAMOWIENIE", false, -1, "", false},                  // 41
    {"REPINFO", "ID", "", false, -1, "", false},                              // 42
    {"HZ", "ID", "", false, -1, "", false},                                   // 43
    {"HZSLOWNIK", "ID", "", false, -1, "", false},                            // 44
    {"DOKUMENTOP", "ID", "", false, -1, "", false},                           // 45
    {"ZADANIAOP", "ID", "", false, -1, "", false},                            // 46
    {"OBDOKHEAD", "ID", "", false, -1, "", false},                            // 47
    {"DOKUMENTYBLB", "ID", "", false, -1, "", false},                         // 48
    {"ZALACZNIKIBLB", "ID", "", false, -1, "", false},                        // 49
    {"KONFIGURACJA", "ID", "", false, -1, "", false},                         // 50
    {"ZASOBY", "ID", "", false, 57, "", true},                                // 51
    {"ZASOBYREZERWACJE", "ID", "", false, 58, "", true},                      // 52
    {"BLOKADY", "IDBLOKADY", "", true, -1, "", false},                        // 53
    {"SLOWNIKDETAIL", "ID", "", false, -1, "", false},                        // 54
    {"URZADZENIA", "ID", "URZADZENIE", false, 62, "IDURZADZENIADANE", true},  // 55
    {"URZADZENIADANE", "ID", "", false, 62, "", true},                        // 56
    {"PRZEGLADY", "ID", "PRZEGLAD", false, 63, "", true},                     // 57
    {"INSTALACJE", "ID", "INSTALACJA", false, 61, "", true},                  // 58
    {"KONTRAHENCIINSTALACJE", "ID", "", false, -1, "", false},                // 59
    {"POWIAZANIADOK", "ID", "", false, -1, "", false},                        // 60
    {"MIEJSCAINSTALACJI", "ID", "", false, 65, "", true},                     // 61
    {"OPERATORZYPOWIAZANI", "ID", "", false, -1, "", false},                  // 62
    {"MONITOROWANEPOLA", "ID", "", false, -1, "", false},                     // 63
    {"PARAMETRY", "ID", "", false, -1, "", false},                            // 64
    {"POCZTAKONF", "ID", "", false, -1, "", false},                           // 65
    {"WYDRUKI", "ID", "", false, 70, "", true},                               // 66
    {"WYDRUKILOG", "ID", "", false, -1, "", false},                           // 67
    {"WYDRUKISEL", "ID", "", false, -1, "", false},                           // 68
    {"GRUPYUPRAWNIEN", "ID", "", false, -1, "", true},                        // 69
    {"REPDIALOG", "ID", "", false, -1, "", false},                            // 70
    {"TOWARYOPISY", "ID", "", false, -1, "", false},                          // 71
    {"ZWHARMONOGRAMY", "ID", "", false, -1, "", false},                       // 72
    {"ZWLOG", "ID", "", false, -1, "", false},                                // 73
    {"ZASOBYREZERWACJEDETAIL", "ID", "", false, -1, "", false},               // 74
    {"STANYMAG", "ID", "", false, -1, "", false},                             // 75
    {"ADRESYEMAIL", "ID", "", false, -1, "", true},                           // 76
    {"GRUPYADRESATOWEMAIL", "ID", "", false, -1, "", false},                  // 77
    {"MAGHEAD", "ID", "MAGHEAD", false, -1, "", false},                       // 78
    {"MAGDETAIL", "ID", "", false, -1, "", false},                            // 79
    {"EKSPKONF", "ID", "", false, -1, "", false},                             // 80
    {"EKSPHEAD", "ID", "", false, -1, "", false},                             // 81
    {"EKSPDETAIL", "ID", "", false, -1, "", false},                           // 82
    {"TOWARYKODY", "ID", "", false, -1, "", false},                           // 83
    {"REPKONFLHEAD", "ID", "", false, -1, "", false},                         // 84
    {"REPKONFLDETAIL", "ID", "", false, -1, "", false},                       // 85
    {"CTIKONF", "ID", "", false, -1, "", false},                              // 86
    {"WALUTY", "ID", "", false, -1, "", false},                               // 87
    {"KURSY", "ID", "", false, -1, "", false},                                // 88
    {"KURSYWALUT", "ID", "", false, -1, "", false},                           // 89
    {"KOLORY", "ID", "", false, -1, "", true},                                // 90
    {"ZAMDETAILDOST", "ID", "", false, -1, "", false},                        // 91
    {"QUICKSEARCH", "ID", "", false, -1, "", false},                          // 92
    {"OPERATORZYPODWLADNI", "ID", "", false, -1, "", false},                  // 93
    {"GRIDLAYOUT", "ID", "", false, -1, "", false},                           // 94
    {"DEVICES", "ID", "", false, -1, "", false},                              // 95
    {"AKCJE", "ID", "", false, -1, "", false},                                // 96
    {"KATEGORIE", "ID", "", false, -1, "", false},                            // 97
    {"MAPOWANIE", "ID", "", false, -1, "", false},                            // 98
    {"PROFILE", "ID", "", false, -1, "", false},                              // 99
    {"PROFILEAKCJE", "ID", "", false, -1, "", false},                         // 100
    {"PROFILEOPERATORZY", "ID", "", false, -1, "", false},                    // 101
    {"SCHEMATY", "ID", "", false, -1, "", false},                             // 102
    {"WIDOKI", "ID", "", false, -1, "", false},                               // 103
    {"UPRAWNIENI", "ID", "", false, -1, "", false},                           // 104
    {"INWESTYCJATOWARY", "ID", "", false, -1, "", false},                     // 105
    {"ZAMWPLATY", "ID", "", false, -1, "", false},                            // 106
    {"TOWARYPOWIAZANE", "ID", "", false, -1, "", false},                      // 107
    {"OPERATORZYPUNKTY", "ID", "", false, -1, "", false},                     // 108
    {"POCZTAPRZYP", "ID", "", true, -1, "", false},                           // 109
    {"KONTRAHENTTOWARY", "ID", "", true, -1, "", false},                      // 110
    {"PLANY", "ID", "", false, 110, "", true},                                // 111
    {"PLANY_MNOZNIKI", "ID", "", false, -1, "", false},                       // 112
    {"PLANY_OKRESY", "ID", "", false, -1, "", false},                         // 113
    {"PLANY_OPERATORZY", "ID", "", false, -1, "", false},                     // 114
    {"PLANY_WAGI", "ID", "", false, -1, "", false},                           // 115
    {"PLANY_POZYCJE", "ID", "", false, -1, "", false},                        // 116
    {"INWESTYCJAETAPOP", "ID", "", false, -1, "", false},                     // 117
    {"PLANY_KONTRAHENCI", "ID", "", false, -1, "", false},                    // 118
    {"PLANY_TOWARY", "ID", "", false, -1, "", false},                         // 119
    {"ZADANIAPRACE", "ID", "", false, -1, "", true},                          // 120
    {"ZADANIATOWARY", "ID", "", false, -1, "", true},                         // 121
    {"OPERATORZYOFERTY", "ID", "", false, -1, "", false},                     // 122
    {"LOGOPERACJI", "ID", "", false, -1, "", false},                          // 123
    {"POLACZENIA", "ID", "POLACZENIA", false, -1, "", false},                 // 124
    {"REGULY", "ID", "", false, -1, "", false},                               // 125
    {"APLIKACJE", "ID", "", false, -1, "", false},                            // 126
    {"KSEFKONF", "ID", "", false, 126, "", false},                            // 127
    {"KSEF", "ID", "", false, 127, "", false},                                // 128
    {"AIKONF", "ID", "", false, 128, "", false},                              // 129
    {"AILOG", "ID", "", false, 129, "", false},                               // 130
    {"AICHATHEAD", "ID", "", false, 130, "", false},                          // 131
    {"AICHATDETAIL", "ID", "", false, 131, "", false},                        // 132
    {"AIMEM", "ID", "", false, 132, "", false},                               // 133
    {"AIKB", "ID", "", false, 133, "", false},                                // 134
    {"AIKBHEAD", "ID", "", false, 134, "", false},                            // 135
    {"AIKBDETAIL", "ID", "", false, 135, "", false},                          // 136
}};

}  // namespace

const std::array<TTableInfo, kTableCount>& TableCatalogue() { return kTables; }

const TTableInfo* TableInfo(std::int32_t table_number) {
  if (table_number < 0 || table_number >= kTableCount) {
    return nullptr;
  }
  return &kTables[static_cast<std::size_t>(table_number)];
}

std::optional<std::int32_t> TableNumber(std::string_view table_name) {
  for (std::size_t i = 0; i < kTables.size(); ++i) {
    if (SameTextIgnoringCase(kTables[i].name, table_name)) {
      return static_cast<std::int32_t>(i);
    }
  }
  return std::nullopt;
}

}  // namespace tramolin
