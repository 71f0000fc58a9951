// A small per-user store of named string values under key paths, standing in for the Windows
// registry: one INI file per root below a base directory, the key path being the section.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tramolin {

enum class RegistryRoot { kCurrentUser, kLocalMachine };

// $XDG_CONFIG_HOME (or ~/.config) + "/Tramolin2/registry".
std::filesystem::path DefaultRegistryDirectory();

class Registry {
 public:
  explicit Registry(std::filesystem::path base_directory = DefaultRegistryDirectory());

  // The value's text; "" when the key or the value is missing.
  std::string ReadRegistryString(std::string_view key_path, std::string_view value_name,
                                 RegistryRoot root) const;
  // Creates the key (and the store) when missing. Throws std::system_error when the store
  // cannot be written.
  void WriteRegistryString(std::string_view key_path, std::string_view value_name,
                           std::string_view text, RegistryRoot root) const;
  // A missing key or value is not an error. Throws std::system_error when the store cannot be
  // written.
  void DeleteRegistryValue(std::string_view key_path, std::string_view value_name,
                           RegistryRoot root) const;
  bool KeyExists(std::string_view key_path, RegistryRoot root) const;

 private:
  std::filesystem::path StoreFile(RegistryRoot root) const;

  std::filesystem::path base_directory_;
};

}  // namespace tramolin
