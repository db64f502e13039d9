#include "frontend/qt/picture_box.h"

#include <QPainter>
#include <utility>

namespace tidwen::qt {

PictureBox::PictureBox(QPixmap picture, QWidget* parent)
    : QWidget(parent), picture_(std::move(picture)) {
  setAutoFillBackground(true);
}

void PictureBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawPixmap(0, 0, picture_);
}

LineControl::LineControl(QPoint from, QPoint to, QColor color, QWidget* parent)
    : QWidget(parent), from_(from), to_(to), color_(color) {
  // The widget covers the line's bounding box; drawing is relative to it.
  setGeometry(QRect(from, to).normalized());
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LineControl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(QPen(color_, 1));
  painter.drawLine(from_ - pos(), to_ - pos());
}

}  // namespace tidwen::qt
