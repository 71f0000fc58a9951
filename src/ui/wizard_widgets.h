// Text and hint helpers of the configuration wizard's controls, shared by the dialog's layout
// (wizard_pages.cpp) and its handlers (wizard.cpp).
#pragma once

#include <QString>
#include <string_view>

#include "util/cp1250.h"

namespace tramolin::wizard_widgets {

inline QString Ui(std::string_view cp1250) { return QString::fromUtf8(Cp1250ToUtf8(cp1250)); }

// Caption, tooltip and status-bar hint of a control.
template <class Widget>
Widget* Hinted(Widget* widget, std::string_view hint) {
  widget->setToolTip(Ui(hint));
  widget->setStatusTip(Ui(hint));
  return widget;
}

}  // namespace tramolin::wizard_widgets
