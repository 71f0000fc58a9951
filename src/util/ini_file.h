// A Windows-style initialisation file kept as its lines, so that writing a key changes only that
// line: a missing key joins the end of its section, a missing section the end of the file, and
// comments, blank lines and unknown keys stay as they were. Names match without regard to case.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tramolin {

class IniFile {
 public:
  // Reads the file; a missing or unreadable file is an empty one. LF or CR LF line ends.
  explicit IniFile(std::filesystem::path file);

  // The value after "=" without surrounding blanks, or the default when the key is missing.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view default_value) const;
  // Decimal, or hexadecimal after "0x"/"0X" when the value is longer than two characters; a
  // missing or malformed value gives the default.
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t default_value) const;
  // An integer: 0 is false, anything else true.
  bool ReadBool(std::string_view section, std::string_view key, bool default_value) const;
  bool HasKey(std::string_view section, std::string_view key) const;
  bool HasSection(std::string_view section) const;

  // A line break inside the value is written as a blank, so a value never adds lines.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int32_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);  // "1" or "0"
  // Removes the key's line; false when there was none.
  bool DeleteKey(std::string_view section, std::string_view key);

  // Writes every line with CR LF; throws std::system_error when the file cannot be written.
  void Save() const;

  const std::filesystem::path& File() const { return file_; }

 private:
  struct Range {
    std::size_t begin;  // the section's first line after its header
    std::size_t end;    // the next section's header, or the end of the file
  };
  bool FindSection(std::string_view section, Range& range) const;
  // The line of the key within the range, or range.end.
  std::size_t FindKey(const Range& range, std::string_view key) const;
  const std::string* FindValueLine(std::string_view section, std::string_view key) const;

  std::filesystem::path file_;
  std::vector<std::string> lines_;
};

// Items of a comma text: commas separate items, so do blanks outside double quotes; a quoted item
// keeps its blanks and commas, and "" inside it stands for one double quote.
std::vector<std::string> ParseCommaText(std::string_view text);
// Items joined by commas; an item that is empty or holds a blank, control character, comma or
// double quote is written in double quotes with its double quotes doubled.
std::string CommaText(const std::vector<std::string>& items);

}  // namespace tramolin
