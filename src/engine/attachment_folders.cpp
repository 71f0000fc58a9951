#include "engine/attachment_folders.h"

#include <system_error>

#include "util/cp1250.h"

namespace tramolin {
namespace {

namespace fs = std::filesystem;

// The folder's components, a trailing separator aside, begin the file's.
bool LiesUnder(const fs::path& file, const fs::path& folder) {
  auto file_part = file.begin();
  for (const fs::path& part : folder) {
    if (part.empty()) continue;  // what a trailing separator leaves
    if (file_part == file.end() || *file_part != part) return false;
    ++file_part;
  }
  return true;
}

std::vector<fs::path> ResolvedFolders(const std::vector<std::string>& folders) {
  std::vector<fs::path> resolved;
  for (const std::string& folder : folders) {
    const fs::path path(Cp1250ToUtf8(folder));
    if (!path.is_absolute()) continue;
    if (std::optional<fs::path> real = ResolvedPath(path)) resolved.push_back(std::move(*real));
  }
  return resolved;
}

}  // namespace

bool LiesInside(const fs::path& file, const std::vector<fs::path>& folders) {
  for (const fs::path& folder : folders) {
    if (LiesUnder(file, folder)) return true;
  }
  return false;
}

std::optional<fs::path> ResolvedPath(const fs::path& path) {
  std::error_code error;
  const fs::path absolute = fs::absolute(path, error);
  if (error) return std::nullopt;
  fs::path resolved = fs::weakly_canonical(absolute, error);
  if (error) return std::nullopt;
  return resolved;
}

std::optional<fs::path> PathInsideFolders(const fs::path& file,
                                          const std::vector<std::string>& folders) {
  if (folders.empty()) return std::nullopt;
  std::optional<fs::path> resolved = ResolvedPath(file);
  if (!resolved || !LiesInside(*resolved, ResolvedFolders(folders))) return std::nullopt;
  return resolved;
}

}  // namespace tramolin
