#include "util/files.h"

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "util/day_time.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

// Closes the descriptor when the line is done.
class AppendHandle {
 public:
  explicit AppendHandle(const std::filesystem::path& file)
      : fd_(open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644)) {}
  ~AppendHandle() {
    if (fd_ >= 0) close(fd_);
  }
  AppendHandle(const AppendHandle&) = delete;
  AppendHandle& operator=(const AppendHandle&) = delete;

  void Write(std::string_view bytes) const {
    while (fd_ >= 0 && !bytes.empty()) {
      const ssize_t written = write(fd_, bytes.data(), bytes.size());
      if (written <= 0) return;
      bytes.remove_prefix(static_cast<std::size_t>(written));
    }
  }

 private:
  int fd_;
};

}  // namespace

void AppendLineToFile(const std::filesystem::path& file, std::string_view text, bool stamped,
                      double now) {
  if (Trim(file.native()).empty()) return;
  std::string line = stamped ? StampText(now) + " " : std::string();
  line.append(text);
  line += "\r\n";
  AppendHandle(file).Write(line);
}

}  // namespace tramolin
