// The wizard's connection test on the real database engine: one connection of its own, opened
// with the settings the wizard's fields give and closed again.
#pragma once

#include <optional>
#include <string>

#include "engine/database_settings.h"

namespace tramolin {

class TPassDM;

// Opens and closes the database of `settings` (the password TPassDM reads replaces the given
// one, as for the program's own connection): nullopt on success, else the error's message.
std::optional<std::string> TestDatabaseConnection(TPassDM& pass_dm, DatabaseSettings settings);

}  // namespace tramolin
