// Builds a window's controls from the common description: each control of
// the window's kind for its entry, placed, captioned, coloured and in its
// font, stacked in the description's order and tabbed in its tab order.
#pragma once

#include <QWidget>
#include <functional>
#include <vector>

#include "frontend/common/window_description.h"

namespace tidwen::qt {

// Makes the widget for an entry whose kind needs more than a plain widget
// (the lists, the status line); returns null to have the plain widget of the
// entry's kind made.
using ControlMaker = std::function<QWidget*(const frontend::ControlDescription&, QWidget* parent)>;

// Makes every control of layout on window, in the description's order (which
// Qt stacks lowest first), and chains the focus in its tab order. Returns
// the controls in the description's order.
std::vector<QWidget*> BuildControls(QWidget& window, const frontend::WindowDescription& layout,
                                    const ControlMaker& make = {});

// The control built for an entry, by name and index; null for none.
template <class Widget>
Widget* ControlNamed(const frontend::WindowDescription& layout, const std::vector<QWidget*>& built,
                     std::string_view name, int index = -1) {
  for (std::size_t i = 0; i < built.size(); ++i) {
    if (layout.controls[i].name == name && layout.controls[i].index == index)
      return qobject_cast<Widget*>(built[i]);
  }
  return nullptr;
}

}  // namespace tidwen::qt
