#include "frontend/qt/form2.h"

#include "frontend/common/window_description.h"
#include "frontend/qt/window_builder.h"
#include "frontend/qt/window_style.h"

namespace tidwen::qt {

Form2::Form2(QWidget* parent) : QWidget(parent, Qt::Window) {
  const frontend::WindowDescription& layout = frontend::Form2Description();
  SetUpWindow(*this, layout);
  BuildControls(*this, layout);
}

}  // namespace tidwen::qt
