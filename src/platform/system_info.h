// What the program says about the machine and itself: computer name, local addresses, its own
// path and file version. The Linux stand-ins for the Windows name, resolver and version resource.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tramolin {

// The host name, cut to at most 15 characters; "" when it cannot be read.
std::string ComputerName();
// The IPv4 addresses the host name resolves to, in resolver order, joined by "/"; "" when the
// name does not resolve.
std::string LocalAddresses();
// ComputerName() + " (" + LocalAddresses() + ")".
std::string ComputerDescription();
// The running executable (/proc/self/exe); empty when it cannot be read.
std::filesystem::path ProgramPath();
// The environment variable naming the program folder (Tramolin2.ini, the logs, pid), so that one
// installed program serves several folders, one service each.
inline constexpr char kProgramFolderVariable[] = "TRAMOLIN2_DIR";
// The program folder: `chosen` (that variable's value) made absolute, without a trailing "/",
// when it is not empty; else the executable's folder.
std::filesystem::path AppDirectory(std::string_view chosen,
                                   const std::filesystem::path& executable);
// The four-part version of the build for the program's own file; "" for any other file.
std::string GetFileVersion(const std::filesystem::path& file);

}  // namespace tramolin
