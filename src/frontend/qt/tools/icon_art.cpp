#include "icon_art.h"

#include <QColor>
#include <QPainter>
#include <QPen>
#include <QPoint>
#include <QPolygon>
#include <QPolygonF>
#include <QRect>
#include <QRectF>
#include <algorithm>
#include <vector>

namespace tidwen::art {

const QRgb kVgaColors[16] = {qRgb(0, 0, 0),      qRgb(128, 0, 0),     qRgb(0, 128, 0),
                             qRgb(128, 128, 0),  qRgb(0, 0, 128),     qRgb(128, 0, 128),
                             qRgb(0, 128, 128),  qRgb(192, 192, 192), qRgb(128, 128, 128),
                             qRgb(255, 0, 0),    qRgb(0, 255, 0),     qRgb(255, 255, 0),
                             qRgb(0, 0, 255),    qRgb(255, 0, 255),   qRgb(0, 255, 255),
                             qRgb(255, 255, 255)};

namespace {

enum class Kind { kEllipse, kLine, kPolygon, kPoint };

// One shape on the 32 x 32 grid. Colours are indexes into kVgaColors, -1 for
// none. An ellipse's points are its bounding box's corner and its size.
struct Shape {
  Kind kind;
  std::vector<QPoint> points;
  int fill;
  int stroke;
  int width;
};

// Back to front. The pixel icon draws these coordinates as they are, and a
// pen there covers the pixels right of and below each point; the smooth
// drawings therefore run every stroked shape through pixel centres.
const std::vector<Shape>& Shapes() {
  static const std::vector<Shape> shapes = {
      // Dust heap.
      {Kind::kEllipse, {{1, 25}, {14, 6}}, 8, -1, 0},
      {Kind::kEllipse, {{4, 26}, {7, 3}}, 7, -1, 0},
      // Handle.
      {Kind::kLine, {{28, 2}, {18, 19}}, -1, 1, 3},
      // Bristles.
      {Kind::kPolygon, {{14, 18}, {21, 21}, {20, 31}, {6, 28}}, 11, 3, 1},
      {Kind::kLine, {{16, 21}, {11, 29}}, -1, 3, 1},
      {Kind::kLine, {{19, 22}, {16, 30}}, -1, 3, 1},
      // Binding.
      {Kind::kLine, {{14, 18}, {21, 21}}, -1, 9, 2},
      // A sparkle.
      {Kind::kLine, {{4, 8}, {4, 14}}, -1, 14, 1},
      {Kind::kLine, {{1, 11}, {7, 11}}, -1, 14, 1},
      {Kind::kPoint, {{4, 11}}, -1, 15, 1},
  };
  return shapes;
}

QColor Color(int index) { return QColor(kVgaColors[index]); }

QPen PenOf(const Shape& s, double width) {
  if (s.stroke < 0) return QPen(Qt::NoPen);
  return QPen(Color(s.stroke), width, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
}

// The shape's points as drawn smoothly: through pixel centres when stroked.
std::vector<QPointF> SmoothPoints(const Shape& s) {
  const double shift = s.stroke >= 0 ? 0.5 : 0.0;
  std::vector<QPointF> out;
  for (const QPoint& p : s.points) out.emplace_back(p.x() + shift, p.y() + shift);
  return out;
}

}  // namespace

QImage PixelIcon() {
  QImage image(32, 32, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, false);
  for (const Shape& s : Shapes()) {
    p.setPen(PenOf(s, s.width));
    p.setBrush(s.fill >= 0 ? QBrush(Color(s.fill)) : QBrush(Qt::NoBrush));
    switch (s.kind) {
      case Kind::kEllipse:
        p.drawEllipse(QRect(s.points[0], QSize(s.points[1].x(), s.points[1].y())));
        break;
      case Kind::kLine:
        p.drawLine(s.points[0], s.points[1]);
        break;
      case Kind::kPolygon:
        p.drawPolygon(QPolygon(QList<QPoint>(s.points.begin(), s.points.end())));
        break;
      case Kind::kPoint:
        p.drawPoint(s.points[0]);
        break;
    }
  }
  return image;
}

QImage SizedIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, true);
  const double scale = size / 32.0;
  p.scale(scale, scale);
  for (const Shape& s : Shapes()) {
    const std::vector<QPointF> pts = SmoothPoints(s);
    p.setPen(PenOf(s, std::max<double>(s.width, 1.0 / scale)));
    p.setBrush(s.fill >= 0 ? QBrush(Color(s.fill)) : QBrush(Qt::NoBrush));
    switch (s.kind) {
      case Kind::kEllipse:
        p.drawEllipse(QRectF(pts[0], QSizeF(s.points[1].x(), s.points[1].y())));
        break;
      case Kind::kLine:
        p.drawLine(pts[0], pts[1]);
        break;
      case Kind::kPolygon:
        p.drawPolygon(QPolygonF(QList<QPointF>(pts.begin(), pts.end())));
        break;
      case Kind::kPoint:
        // A pixel of the grid, as a square.
        p.setPen(Qt::NoPen);
        p.setBrush(Color(s.stroke));
        p.drawRect(QRectF(s.points[0], QSizeF(1, 1)));
        break;
    }
  }
  p.end();
  return image.convertToFormat(QImage::Format_ARGB32);
}

QByteArray IconSvg() {
  auto num = [](double v) { return QByteArray::number(v, 'g', 6); };
  auto hex = [](int index) { return Color(index).name(QColor::HexRgb).toLatin1(); };
  QByteArray svg =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"32\" height=\"32\" "
      "viewBox=\"0 0 32 32\">\n"
      "  <title>Tidwen</title>\n";
  for (const Shape& s : Shapes()) {
    const std::vector<QPointF> pts = SmoothPoints(s);
    QByteArray paint;
    if (s.kind != Kind::kPoint) {
      paint += " fill=\"" + (s.fill >= 0 ? hex(s.fill) : QByteArray("none")) + "\"";
      if (s.stroke >= 0) {
        paint += " stroke=\"" + hex(s.stroke) + "\" stroke-width=\"" + num(s.width) +
                 "\" stroke-linecap=\"square\" stroke-linejoin=\"bevel\"";
      }
    }
    switch (s.kind) {
      case Kind::kEllipse:
        svg += "  <ellipse cx=\"" + num(pts[0].x() + s.points[1].x() / 2.0) + "\" cy=\"" +
               num(pts[0].y() + s.points[1].y() / 2.0) + "\" rx=\"" + num(s.points[1].x() / 2.0) +
               "\" ry=\"" + num(s.points[1].y() / 2.0) + "\"" + paint + "/>\n";
        break;
      case Kind::kLine:
        svg += "  <line x1=\"" + num(pts[0].x()) + "\" y1=\"" + num(pts[0].y()) + "\" x2=\"" +
               num(pts[1].x()) + "\" y2=\"" + num(pts[1].y()) + "\"" + paint + "/>\n";
        break;
      case Kind::kPolygon: {
        QByteArray list;
        for (const QPointF& q : pts) {
          if (!list.isEmpty()) list += ' ';
          list += num(q.x()) + ',' + num(q.y());
        }
        svg += "  <polygon points=\"" + list + "\"" + paint + "/>\n";
        break;
      }
      case Kind::kPoint:
        svg += "  <rect x=\"" + num(s.points[0].x()) + "\" y=\"" + num(s.points[0].y()) +
               "\" width=\"1\" height=\"1\" fill=\"" + hex(s.stroke) + "\"/>\n";
        break;
    }
  }
  svg += "</svg>\n";
  return svg;
}

}  // namespace tidwen::art
