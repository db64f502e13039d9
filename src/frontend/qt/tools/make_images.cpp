// Draws Tidwen's pictures: the 122 x 70 logo of the main window (JPEG), the
// 32 x 32 program icon in 16 colours (PNG), tidwen.exe's icon (ICO, from 16
// to 256 pixels), and the desktop's icons: the same design drawn at each
// size, and as SVG.
//
//   tidwen-make-images <resource directory> <desktop icon directory>
//
// The output is committed under src/resources and packaging/icons; run
// this only after changing the drawing.
#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include "icon_art.h"

namespace {

using tidwen::art::kVgaColors;

// The logo: a night-blue card swept by a broom, with the product name as a
// faint watermark. The window writes the name, the maker and the contact
// address over its left part, so that part stays dark and quiet.
QImage DrawLogo() {
  QImage image(122, 70, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);

  QLinearGradient sky(0, 0, 0, 70);
  sky.setColorAt(0.0, QColor(24, 58, 96));
  sky.setColorAt(1.0, QColor(8, 22, 40));
  p.fillRect(image.rect(), sky);

  // Swept arcs, as if the card had just been cleaned.
  for (int i = 0; i < 4; ++i) {
    QPainterPath arc;
    arc.moveTo(-10, 62 - i * 9);
    arc.quadTo(60, 40 - i * 12, 130, 58 - i * 14);
    p.setPen(QPen(QColor(80, 140, 200, 50 - i * 8), 5 - i));
    p.drawPath(arc);
  }

  QFont mark("DejaVu Sans");
  mark.setPixelSize(16);
  mark.setBold(true);
  mark.setLetterSpacing(QFont::AbsoluteSpacing, 1);
  p.setFont(mark);
  p.setPen(QColor(255, 255, 255, 28));
  p.drawText(QRect(0, 40, 96, 30), Qt::AlignCenter, "TIDWEN");

  // The broom leans against the right edge: handle, binding and bristles.
  p.setPen(QPen(QColor(150, 96, 48), 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(119, 2), QPointF(101, 44));
  QPolygonF bristles;
  bristles << QPointF(97, 42) << QPointF(107, 46) << QPointF(112, 66) << QPointF(84, 62);
  QLinearGradient straw(90, 44, 100, 66);
  straw.setColorAt(0.0, QColor(250, 210, 90));
  straw.setColorAt(1.0, QColor(214, 150, 40));
  p.setPen(Qt::NoPen);
  p.setBrush(straw);
  p.drawPolygon(bristles);
  p.setPen(QPen(QColor(160, 100, 20), 1));
  for (int i = 1; i < 6; ++i) {
    const double t = i / 6.0;
    p.drawLine(QPointF(97 + 10 * t, 43 + 4 * t), QPointF(84 + 28 * t, 62 + 4 * t));
  }
  p.setPen(QPen(QColor(200, 40, 30), 2));
  p.drawLine(QPointF(97, 43), QPointF(107, 47));

  // Sparkles where the dust was.
  p.setPen(Qt::NoPen);
  const QPointF sparkles[] = {{76, 58}, {70, 50}, {80, 44}, {64, 60}};
  for (const QPointF& s : sparkles) {
    QRadialGradient glow(s, 3);
    glow.setColorAt(0.0, QColor(255, 255, 220, 230));
    glow.setColorAt(1.0, QColor(255, 255, 220, 0));
    p.setBrush(glow);
    p.drawEllipse(s, 3, 3);
  }
  return image;
}

// Index of the palette colour nearest to c (squared RGB distance).
int NearestVga(QRgb c) {
  int best = 0;
  long bestDistance = -1;
  for (int i = 0; i < 16; ++i) {
    const long dr = qRed(c) - qRed(kVgaColors[i]);
    const long dg = qGreen(c) - qGreen(kVgaColors[i]);
    const long db = qBlue(c) - qBlue(kVgaColors[i]);
    const long d = dr * dr + dg * dg + db * db;
    if (bestDistance < 0 || d < bestDistance) {
      bestDistance = d;
      best = i;
    }
  }
  return best;
}

// Palette index of every pixel, or -1 for a transparent one.
std::vector<int> Quantize(const QImage& icon) {
  std::vector<int> indexes;
  for (int y = 0; y < icon.height(); ++y) {
    for (int x = 0; x < icon.width(); ++x) {
      const QRgb c = icon.pixel(x, y);
      indexes.push_back(qAlpha(c) < 128 ? -1 : NearestVga(c));
    }
  }
  return indexes;
}

// A 16-entry palette PNG: the colours the icon uses, and transparent.
QImage IndexedIcon(const std::vector<int>& indexes) {
  std::vector<int> used;
  for (int i : indexes) {
    if (i >= 0 && std::find(used.begin(), used.end(), i) == used.end()) used.push_back(i);
  }
  QList<QRgb> table{qRgba(0, 0, 0, 0)};
  for (int i : used) table.push_back(kVgaColors[i]);
  while (table.size() < 16) table.push_back(qRgb(0, 0, 0));
  QImage out(32, 32, QImage::Format_Indexed8);
  out.setColorTable(table);
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      const int i = indexes[y * 32 + x];
      const int slot = i < 0 ? 0 : 1 + int(std::find(used.begin(), used.end(), i) - used.begin());
      out.setPixel(x, y, slot);
    }
  }
  return out;
}

void Put16(QByteArray& out, std::uint16_t v) { out.append(char(v & 0xff)).append(char(v >> 8)); }
void Put32(QByteArray& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.append(char((v >> (8 * i)) & 0xff));
}

// One image of a Windows icon file: its size, its colours (16, or 0 for
// more), its bits per pixel and its bytes.
struct IcoImage {
  int size;
  int colours;
  int bits;
  QByteArray data;
};

std::uint32_t RowBytes(int size, int bits) { return std::uint32_t((size * bits + 31) / 32 * 4); }

// The bitmap header of an icon image, whose height counts the colour bitmap
// and the 1-bit transparency mask stacked.
void PutBitmapHeader(QByteArray& out, int size, int bits, int colours) {
  Put32(out, 40);
  Put32(out, size);
  Put32(out, 2 * size);
  Put16(out, 1);
  Put16(out, std::uint16_t(bits));
  Put32(out, 0);  // uncompressed
  Put32(out, size * (RowBytes(size, bits) + RowBytes(size, 1)));
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, colours);
  Put32(out, 0);
}

// The mask, bottom-up: a set bit where the picture is transparent.
void PutMask(QByteArray& out, int size, const std::function<bool(int, int)>& transparent) {
  for (int y = size - 1; y >= 0; --y) {
    QByteArray row(int(RowBytes(size, 1)), '\0');
    for (int x = 0; x < size; ++x) {
      if (transparent(x, y)) row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
    }
    out.append(row);
  }
}

// A 4-bit image over the standard palette, from its palette indexes.
IcoImage FourBitImage(int size, const std::vector<int>& indexes) {
  IcoImage image{size, 16, 4, {}};
  PutBitmapHeader(image.data, size, 4, 16);
  for (QRgb c : kVgaColors) {
    image.data.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c))).append('\0');
  }
  for (int y = size - 1; y >= 0; --y) {
    QByteArray row(int(RowBytes(size, 4)), '\0');
    for (int x = 0; x < size; ++x) {
      const int i = std::max(indexes[y * size + x], 0);
      row[x / 2] = char(row[x / 2] | (x % 2 ? i : i << 4));
    }
    image.data.append(row);
  }
  PutMask(image.data, size, [&](int x, int y) { return indexes[y * size + x] < 0; });
  return image;
}

// A 32-bit image with its alpha, bottom-up.
IcoImage TrueColourImage(const QImage& picture) {
  const int size = picture.width();
  IcoImage image{size, 0, 32, {}};
  PutBitmapHeader(image.data, size, 32, 0);
  for (int y = size - 1; y >= 0; --y) {
    for (int x = 0; x < size; ++x) {
      const QRgb c = picture.pixel(x, y);
      image.data.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c)));
      image.data.append(char(qAlpha(c)));
    }
  }
  PutMask(image.data, size, [&](int x, int y) { return qAlpha(picture.pixel(x, y)) == 0; });
  return image;
}

// The 256 x 256 image as PNG, which the shell reads since Windows Vista.
IcoImage PngImage(const QImage& picture) {
  IcoImage image{picture.width(), 0, 32, {}};
  QBuffer buffer(&image.data);
  buffer.open(QIODevice::WriteOnly);
  picture.save(&buffer, "PNG");
  return image;
}

// A Windows icon file of the images given.
QByteArray IcoFile(const std::vector<IcoImage>& images) {
  QByteArray out;
  Put16(out, 0);
  Put16(out, 1);  // icon
  Put16(out, std::uint16_t(images.size()));
  std::uint32_t offset = 6 + 16 * std::uint32_t(images.size());
  for (const IcoImage& image : images) {
    const char side = char(image.size % 256);  // 0 stands for 256
    out.append(side).append(side).append(char(image.colours)).append('\0');
    Put16(out, 1);  // planes
    Put16(out, std::uint16_t(image.bits));
    Put32(out, std::uint32_t(image.data.size()));
    Put32(out, offset);
    offset += std::uint32_t(image.data.size());
  }
  for (const IcoImage& image : images) out.append(image.data);
  return out;
}

// tidwen.exe's icon: the window's own 16-colour images at 16 and 32 pixels
// (title bars and the taskbar take the 16 x 16 one rather than shrinking the
// 32 x 32 one), and the drawing in true colour at the other sizes the shell
// asks for at 100 to 200% (20, 24, 40, 48, 64) and in its largest views.
QByteArray ProgramIcon(const std::vector<int>& pixelIcon) {
  using tidwen::art::SizedIcon;
  return IcoFile({FourBitImage(16, Quantize(SizedIcon(16))), TrueColourImage(SizedIcon(20)),
                  TrueColourImage(SizedIcon(24)), FourBitImage(32, pixelIcon),
                  TrueColourImage(SizedIcon(40)), TrueColourImage(SizedIcon(48)),
                  TrueColourImage(SizedIcon(64)), PngImage(SizedIcon(256))});
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <resource directory> <desktop icon directory>\n", argv[0]);
    return 2;
  }
  const QDir dir(QString::fromLocal8Bit(argv[1]));
  const std::vector<int> icon = Quantize(tidwen::art::PixelIcon());
  QByteArray png;
  QBuffer pngBuffer(&png);
  pngBuffer.open(QIODevice::WriteOnly);
  bool ok = DrawLogo().save(dir.filePath("logo.jpg"), "JPEG", 90) &&
            IndexedIcon(icon).save(&pngBuffer, "PNG") &&
            WriteFile(dir.filePath("tidwen.png"), png) &&
            WriteFile(dir.filePath("tidwen.ico"), ProgramIcon(icon));
  // The desktop's icons: <size>.png for each size, and scalable.svg.
  const QDir icons(QString::fromLocal8Bit(argv[2]));
  for (int size : tidwen::art::kIconSizes) {
    ok =
        ok && tidwen::art::SizedIcon(size).save(icons.filePath(QString("%1.png").arg(size)), "PNG");
  }
  ok = ok && WriteFile(icons.filePath("scalable.svg"), tidwen::art::IconSvg());
  if (!ok) {
    std::fprintf(stderr, "could not write the pictures to %s and %s\n", argv[1], argv[2]);
    return 1;
  }
  return 0;
}
