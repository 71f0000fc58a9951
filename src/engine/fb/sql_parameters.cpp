#include "engine/fb/sql_parameters.h"

#include <algorithm>
#include <cctype>

namespace tramolin::fb {

namespace {

bool IsNameChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return std::isalnum(u) != 0 || c == '_' || c == '$';
}

// Copies a quoted run (string literal or quoted identifier, doubled quote inside) and returns the
// position after it; an unterminated run takes the rest of the text.
std::size_t CopyQuoted(std::string_view sql, std::size_t pos, std::string& out) {
  const char quote = sql[pos];
  std::size_t end = pos + 1;
  while (end < sql.size()) {
    if (sql[end] == quote) {
      if (end + 1 < sql.size() && sql[end + 1] == quote) {
        end += 2;
        continue;
      }
      ++end;
      break;
    }
    ++end;
  }
  out.append(sql.substr(pos, end - pos));
  return end;
}

std::size_t CopyComment(std::string_view sql, std::size_t pos, std::string& out) {
  const bool line = sql[pos] == '-';
  const std::size_t close = line ? sql.find('\n', pos + 2) : sql.find("*/", pos + 2);
  const std::size_t end = close == std::string_view::npos ? sql.size() : close + (line ? 1 : 2);
  out.append(sql.substr(pos, end - pos));
  return end;
}

}  // namespace

PositionalSql ToPositional(std::string_view sql) {
  PositionalSql result;
  result.text.reserve(sql.size());
  std::size_t pos = 0;
  while (pos < sql.size()) {
    const char c = sql[pos];
    const char next = pos + 1 < sql.size() ? sql[pos + 1] : '\0';
    if (c == '\'' || c == '"') {
      pos = CopyQuoted(sql, pos, result.text);
    } else if ((c == '-' && next == '-') || (c == '/' && next == '*')) {
      pos = CopyComment(sql, pos, result.text);
    } else if (c == ':' && next == ':') {
      result.text.push_back(':');
      pos += 2;
    } else if (c == ':' && IsNameChar(next)) {
      std::size_t end = pos + 1;
      while (end < sql.size() && IsNameChar(sql[end])) ++end;
      std::string name(sql.substr(pos + 1, end - pos - 1));
      for (char& ch : name) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      result.markers.push_back(std::move(name));
      result.text.push_back('?');
      pos = end;
    } else {
      result.text.push_back(c);
      ++pos;
    }
  }
  return result;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

}  // namespace tramolin::fb
