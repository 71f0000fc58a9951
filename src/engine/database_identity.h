// Who the local database is: its generators BAZA_ID, BAZA_TYP, BAZA_NR and its structure version.
#pragma once

#include <string>
#include <string_view>

namespace tramolin {

// The highest major version of the database structure the program works with.
inline constexpr int BAZA_VER_HIGH = 119;

struct DatabaseIdentity {
  int id = 0;           // BAZA_ID
  int type = -1;        // BAZA_TYP: 0 main, 1 export, 2 replicated copy
  std::string version;  // "BAZA_MAJOR.BAZA_MINOR"
  int number = -1;      // BAZA_NR: 0 main, the copy's number otherwise
};

// The major part (before the first ".") is at most BAZA_VER_HIGH; text without a number or a
// "." counts as 0.
bool SupportedDatabaseVersion(std::string_view version);

// What is logged or shown when the database's structure is newer than the program knows, with
// the hint which of the two programs is to be updated.
std::string UnsupportedStructureText(std::string_view version);

}  // namespace tramolin
