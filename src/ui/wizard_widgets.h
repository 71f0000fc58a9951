// The hint helper of the configuration wizard's controls, shared by the dialog's layout
// (wizard_pages.cpp) and its handlers (wizard.cpp).
#pragma once

#include <string_view>

#include "ui/ui_text.h"

namespace tramolin::wizard_widgets {

// Caption, tooltip and status-bar hint of a control.
template <class Widget>
Widget* Hinted(Widget* widget, std::string_view hint) {
  widget->setToolTip(UiText(hint));
  widget->setStatusTip(UiText(hint));
  return widget;
}

}  // namespace tramolin::wizard_widgets
