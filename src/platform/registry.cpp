#include "platform/registry.h"

#include <cstdlib>

#include "util/ini_file.h"

namespace tramolin {

std::filesystem::path DefaultRegistryDirectory() {
  const char* config_home = std::getenv("XDG_CONFIG_HOME");
  std::filesystem::path base;
  if (config_home != nullptr && *config_home != '\0') {
    base = config_home;
  } else {
    const char* home = std::getenv("HOME");
    base = std::filesystem::path(home != nullptr ? home : "") / ".config";
  }
  return base / "Tramolin2" / "registry";
}

Registry::Registry(std::filesystem::path base_directory)
    : base_directory_(std::move(base_directory)) {}

std::filesystem::path Registry::StoreFile(RegistryRoot root) const {
  return base_directory_ /
         (root == RegistryRoot::kCurrentUser ? "current_user.ini" : "local_machine.ini");
}

std::string Registry::ReadRegistryString(std::string_view key_path, std::string_view value_name,
                                         RegistryRoot root) const {
  return IniFile(StoreFile(root)).ReadString(key_path, value_name, "");
}

void Registry::WriteRegistryString(std::string_view key_path, std::string_view value_name,
                                   std::string_view text, RegistryRoot root) const {
  std::error_code ignored;  // a directory that cannot be made shows up as the save's error
  std::filesystem::create_directories(base_directory_, ignored);
  IniFile store(StoreFile(root));
  store.WriteString(key_path, value_name, text);
  store.Save();
}

void Registry::DeleteRegistryValue(std::string_view key_path, std::string_view value_name,
                                   RegistryRoot root) const {
  IniFile store(StoreFile(root));
  if (store.DeleteKey(key_path, value_name)) store.Save();
}

bool Registry::KeyExists(std::string_view key_path, RegistryRoot root) const {
  return IniFile(StoreFile(root)).HasSection(key_path);
}

}  // namespace tramolin
