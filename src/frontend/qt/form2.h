// The about window: product name, maker and author, with no code of its own.
#pragma once

#include <QWidget>

namespace tidwen::qt {

class Form2 : public QWidget {
  Q_OBJECT

 public:
  // The window is a top-level window; with no parent it has no owner.
  explicit Form2(QWidget* parent = nullptr);
};

}  // namespace tidwen::qt
