// A box that shows a picture at its natural size from its top-left corner,
// clipped to the box, and can hold other controls over the picture.
#pragma once

#include <QPixmap>
#include <QWidget>

namespace tidwen::qt {

class PictureBox : public QWidget {
  Q_OBJECT

 public:
  explicit PictureBox(QPixmap picture, QWidget* parent = nullptr);
  const QPixmap& Picture() const { return picture_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPixmap picture_;
};

// A straight line between two points of its parent, one pixel wide.
class LineControl : public QWidget {
  Q_OBJECT

 public:
  LineControl(QPoint from, QPoint to, QColor color, QWidget* parent = nullptr);
  QPoint From() const { return from_; }
  QPoint To() const { return to_; }
  QColor Color() const { return color_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPoint from_, to_;
  QColor color_;
};

}  // namespace tidwen::qt
