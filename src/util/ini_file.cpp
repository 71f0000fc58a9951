#include "util/ini_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <fstream>
#include <system_error>
#include <utility>

#include "util/cp1250.h"
#include "util/fields.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

// The name of a "[name]" line, or nothing.
bool SectionName(std::string_view line, std::string_view& name) {
  line = Trim(line);
  if (!line.starts_with('[')) return false;
  const std::size_t close = line.find(']');
  name = Trim(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1));
  return true;
}

bool KeyOfLine(std::string_view line, std::string_view& key) {
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return false;
  key = Trim(line.substr(0, equals));
  return true;
}

std::string_view ValueOfLine(std::string_view line) {
  return Trim(line.substr(line.find('=') + 1));
}

bool ParseHex(std::string_view digits, int32_t& value) {
  uint32_t unsigned_value = 0;
  const char* const end = digits.data() + digits.size();
  const auto [stop, error] = std::from_chars(digits.data(), end, unsigned_value, 16);
  if (digits.empty() || error != std::errc() || stop != end) return false;
  value = static_cast<int32_t>(unsigned_value);
  return true;
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  // Closes now so that a failing close (a full disk on some file systems) is reported.
  int Close() { return ::close(std::exchange(fd_, -1)); }

 private:
  int fd_;
};

[[noreturn]] void ThrowFileError(const std::filesystem::path& file) {
  throw std::system_error(errno, std::generic_category(), Concat({"cannot write ", file.native()}));
}

}  // namespace

IniFile::IniFile(std::filesystem::path file) : file_(std::move(file)) {
  std::ifstream in(file_, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (line.ends_with('\r')) line.pop_back();
    lines_.push_back(std::move(line));
  }
}

bool IniFile::FindSection(std::string_view section, Range& range) const {
  std::string_view name;
  std::size_t line = 0;
  while (line < lines_.size() &&
         !(SectionName(lines_[line], name) && SameTextIgnoringCase(name, Trim(section)))) {
    ++line;
  }
  if (line == lines_.size()) return false;
  range.begin = ++line;
  while (line < lines_.size() && !SectionName(lines_[line], name)) ++line;
  range.end = line;
  return true;
}

std::size_t IniFile::FindKey(const Range& range, std::string_view key) const {
  std::string_view name;
  for (std::size_t line = range.begin; line < range.end; ++line) {
    if (KeyOfLine(lines_[line], name) && SameTextIgnoringCase(name, Trim(key))) return line;
  }
  return range.end;
}

const std::string* IniFile::FindValueLine(std::string_view section, std::string_view key) const {
  Range range{};
  if (!FindSection(section, range)) return nullptr;
  const std::size_t line = FindKey(range, key);
  return line == range.end ? nullptr : &lines_[line];
}

bool IniFile::HasSection(std::string_view section) const {
  Range range{};
  return FindSection(section, range);
}

bool IniFile::HasKey(std::string_view section, std::string_view key) const {
  return FindValueLine(section, key) != nullptr;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view default_value) const {
  const std::string* line = FindValueLine(section, key);
  return std::string(line ? ValueOfLine(*line) : default_value);
}

int32_t IniFile::ReadInteger(std::string_view section, std::string_view key,
                             int32_t default_value) const {
  const std::string* line = FindValueLine(section, key);
  if (line == nullptr) return default_value;
  const std::string_view value = ValueOfLine(*line);
  if (value.size() > 2 && (value.starts_with("0x") || value.starts_with("0X"))) {
    int32_t hex = 0;
    return ParseHex(value.substr(2), hex) ? hex : default_value;
  }
  try {
    return ParseInt32(value);
  } catch (const ConversionError&) {
    return default_value;
  }
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool default_value) const {
  return ReadInteger(section, key, default_value ? 1 : 0) != 0;
}

void IniFile::WriteString(std::string_view section, std::string_view key,
                          std::string_view raw_value) {
  const std::string key_text(Trim(key));
  std::string value(raw_value);
  for (char& c : value) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  Range range{};
  if (!FindSection(section, range)) {
    if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
    lines_.push_back(Concat({"[", Trim(section), "]"}));
    lines_.push_back(key_text + "=" + value);
    return;
  }
  const std::size_t line = FindKey(range, key);
  if (line != range.end) {
    std::string_view existing_key;
    KeyOfLine(lines_[line], existing_key);
    lines_[line] = std::string(existing_key) + "=" + value;
    return;
  }
  std::size_t insert_at = range.end;  // after the section's last line that is not blank
  while (insert_at > range.begin && Trim(lines_[insert_at - 1]).empty()) --insert_at;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert_at), key_text + "=" + value);
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

bool IniFile::DeleteKey(std::string_view section, std::string_view key) {
  Range range{};
  if (!FindSection(section, range)) return false;
  const std::size_t line = FindKey(range, key);
  if (line == range.end) return false;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(line));
  return true;
}

void IniFile::Save() const {
  std::string text;
  for (const std::string& line : lines_) text += line + "\r\n";
  FileDescriptor fd(::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (fd.get() < 0) ThrowFileError(file_);
  std::string_view rest = text;
  while (!rest.empty()) {
    const ssize_t written = ::write(fd.get(), rest.data(), rest.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) ThrowFileError(file_);
    rest.remove_prefix(static_cast<std::size_t>(written));
  }
  if (fd.Close() != 0) ThrowFileError(file_);
}

std::vector<std::string> ParseCommaText(std::string_view text) {
  std::vector<std::string> items;
  auto skip_blanks = [&text] {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  };
  skip_blanks();
  while (!text.empty()) {
    std::string item;
    if (text.front() == '"') {
      text.remove_prefix(1);
      while (!text.empty()) {
        const char c = text.front();
        text.remove_prefix(1);
        if (c != '"') {
          item += c;
        } else if (text.starts_with('"')) {
          item += '"';
          text.remove_prefix(1);
        } else {
          break;
        }
      }
    } else {
      std::size_t end = 0;
      while (end < text.size() && static_cast<unsigned char>(text[end]) > ' ' && text[end] != ',') {
        ++end;
      }
      item = text.substr(0, end);
      text.remove_prefix(end);
    }
    items.push_back(std::move(item));
    skip_blanks();
    if (text.starts_with(',')) {
      text.remove_prefix(1);
      if (text.empty()) items.emplace_back();
      skip_blanks();
    }
  }
  return items;
}

std::string CommaText(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) {
    if (!text.empty() || &item != &items.front()) text += ',';
    bool needs_quotes = item.empty();
    for (const char c : item)
      needs_quotes |= static_cast<unsigned char>(c) <= ' ' || c == ',' || c == '"';
    if (!needs_quotes) {
      text += item;
      continue;
    }
    text += '"';
    for (const char c : item) text += c == '"' ? std::string("\"\"") : std::string(1, c);
    text += '"';
  }
  return text;
}

}  // namespace tramolin
