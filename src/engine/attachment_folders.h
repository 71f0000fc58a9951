// Files that replicated data names are read only inside the folders the administrator allowed
// ([Tramolin] AttachmentFolders): a peer must not make this site read any other file of its host.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tramolin {

// True when `file` lies under one of `folders` (or is one), compared component by component, so
// that /srv/att2/x is not under /srv/att. All paths absolute and already resolved (ResolvedPath).
bool LiesInside(const std::filesystem::path& file,
                const std::vector<std::filesystem::path>& folders);

// The absolute path with symbolic links and ".." resolved (the part that does not exist
// lexically); nullopt when it cannot be resolved (a loop of links, a folder it may not search).
std::optional<std::filesystem::path> ResolvedPath(const std::filesystem::path& path);

// `file` resolved, when it lies inside one of `folders` (as configured, in code page 1250; a
// relative or unresolvable folder allows nothing); nullopt otherwise, and always without folders.
std::optional<std::filesystem::path> PathInsideFolders(const std::filesystem::path& file,
                                                       const std::vector<std::string>& folders);

}  // namespace tramolin
