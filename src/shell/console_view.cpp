#include "shell/console_view.h"

#include "util/cp1250.h"

namespace tramolin {

void ConsoleView::AppendLogLine(std::string_view line) {
  lines_.emplace_back(line);
  out_ << Cp1250ToUtf8(line) << std::endl;
}

void ConsoleView::AppendToLastLogLine(std::string_view text) {
  if (lines_.empty()) return AppendLogLine(text);
  lines_.back() += text;
  out_ << "  ... " << Cp1250ToUtf8(text) << std::endl;
}

void ConsoleView::ShowMessageBox(std::string_view text, MessageIcon icon) {
  out_ << (icon == MessageIcon::kError ? "[Błąd] " : "[Informacja] ") << Cp1250ToUtf8(text)
       << std::endl;
}

}  // namespace tramolin
