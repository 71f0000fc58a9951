// Appending one line to a text file, opened and closed for every line. Logging relies on it never
// failing loudly: a line that cannot be written is lost without a trace.
#pragma once

#include <filesystem>
#include <string_view>

namespace tramolin {

// Writes text + CR LF (with "yyyy.mm.dd hh:nn:ss.zzz " of `now` in front when stamped), creating
// the file when missing. A blank file name, a missing directory or any write error: nothing.
void AppendLineToFile(const std::filesystem::path& file, std::string_view text, bool stamped,
                      double now);

}  // namespace tramolin
