// The icons the package installs are the current drawing, each drawn at its
// own size; the window's pixel icon is the same design in 16 colours.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "icon_art.h"

namespace {

const QString kSource = QStringLiteral(TIDWEN_SOURCE_DIR);

QImage Load(const QString& relative) {
  QImage image(kSource + "/" + relative);
  return image.convertToFormat(QImage::Format_ARGB32);
}

// The largest difference of one channel between two pictures of one size.
int LargestDifference(const QImage& a, const QImage& b) {
  int largest = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      largest = std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                          std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
    }
  }
  return largest;
}

// Of the pixels that show anything, the share only partly covered. A shape
// drawn at its size has edges one or two pixels soft; a small picture
// scaled up smoothly smears every edge over several.
double SoftShare(const QImage& image) {
  int visible = 0, soft = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const int a = qAlpha(image.pixel(x, y));
      visible += a > 0;
      soft += a > 0 && a < 255;
    }
  }
  return visible == 0 ? 1.0 : double(soft) / visible;
}

// The softest a picture drawn at size x size may be. Drawn at its size, the
// soft edge is a pixel or two wide whatever the size, so its share shrinks
// as the size grows; scaled up, it grows with the picture and stays.
double Softest(int size) { return 20.0 / size; }

class SizedIconTest : public testing::TestWithParam<int> {};

TEST_P(SizedIconTest, CommittedPictureIsTheDrawingAtItsSize) {
  const int size = GetParam();
  const QImage committed = Load(QString("packaging/icons/%1.png").arg(size));
  ASSERT_FALSE(committed.isNull()) << "packaging/icons/" << size << ".png";
  ASSERT_EQ(committed.size(), QSize(size, size));
  // PNG keeps the pixels; a byte's rounding is all that may differ.
  EXPECT_LE(LargestDifference(committed, tidwen::art::SizedIcon(size)), 1)
      << "run tidwen-make-images after changing the drawing";
}

INSTANTIATE_TEST_SUITE_P(Sizes, SizedIconTest, testing::ValuesIn(tidwen::art::kIconSizes));

// Below 48 pixels an edge's pixels are a large part of any shape, drawn or
// scaled, so only the larger sizes tell the two apart.
TEST(IconArtTest, LargeSizesHaveSharpEdgesWhereAnUpscaleHasSoftOnes) {
  for (int size : tidwen::art::kIconSizes) {
    if (size < 48) continue;
    EXPECT_LT(SoftShare(tidwen::art::SizedIcon(size)), Softest(size)) << size;
    const QImage upscaled = tidwen::art::PixelIcon().scaled(size, size, Qt::IgnoreAspectRatio,
                                                            Qt::SmoothTransformation);
    EXPECT_GT(SoftShare(upscaled), Softest(size)) << size;
  }
}

TEST(IconArtTest, EveryDrawnSizeIsInstalledAndNoOther) {
  QStringList drawn;
  for (int size : tidwen::art::kIconSizes) drawn << QString::number(size);
  EXPECT_EQ(drawn.join(','), QStringLiteral(TIDWEN_INSTALLED_ICON_SIZES));
}

TEST(IconArtTest, CommittedSvgIsTheDrawing) {
  QFile file(kSource + "/packaging/icons/scalable.svg");
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), tidwen::art::IconSvg());
}

// The window's icon, committed in 16 colours, is the pixel drawing.
TEST(IconArtTest, WindowIconIsThePixelDrawing) {
  const QImage committed = Load("src/resources/tidwen.png");
  ASSERT_EQ(committed.size(), QSize(32, 32));
  EXPECT_EQ(LargestDifference(committed, tidwen::art::PixelIcon()), 0);
}

// tidwen.exe's icon: the window's 16 x 16 and 32 x 32 images in 16 colours,
// so that title bars and the taskbar do not shrink the larger one, and the
// drawing in true colour at each other size the shell asks for at 100 to 200%
// and in its largest views.
class ProgramIconTest : public testing::Test {
 protected:
  struct Entry {
    int size, colours, bits;
    QByteArray data;
  };

  void SetUp() override {
    QFile file(kSource + "/src/resources/tidwen.ico");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    ico_ = file.readAll();
    ASSERT_GE(ico_.size(), 6);
    for (int i = 0; i < U16(4) && 6 + 16 * i + 16 <= ico_.size(); ++i) {
      const int at = 6 + 16 * i;
      const int size = Byte(at) == 0 ? 256 : Byte(at);
      entries_.push_back({size, Byte(at + 2), U16(at + 6), ico_.mid(U32(at + 12), U32(at + 8))});
    }
  }

  int Byte(int at) const { return int(static_cast<unsigned char>(ico_.at(at))); }
  int U16(int at) const { return Byte(at) | Byte(at + 1) << 8; }
  int U32(int at) const { return U16(at) | U16(at + 2) << 16; }

  // A 32-bit image of the file: PNG, or a bottom-up bitmap with its alpha.
  static QImage Picture(const Entry& entry) {
    if (entry.data.startsWith("\x89PNG")) return QImage::fromData(entry.data, "PNG");
    QImage image(entry.size, entry.size, QImage::Format_ARGB32);
    const auto* bytes = reinterpret_cast<const unsigned char*>(entry.data.constData()) + 40;
    for (int y = 0; y < entry.size; ++y) {
      for (int x = 0; x < entry.size; ++x) {
        const unsigned char* p = bytes + 4 * ((entry.size - 1 - y) * entry.size + x);
        image.setPixel(x, y, qRgba(p[2], p[1], p[0], p[3]));
      }
    }
    return image;
  }

  QByteArray ico_;
  std::vector<Entry> entries_;
};

TEST_F(ProgramIconTest, HoldsEachSizeTheShellAsksFor) {
  QStringList found;  // "size colours bits"
  for (const Entry& e : entries_)
    found << QString("%1 %2 %3").arg(e.size).arg(e.colours).arg(e.bits);
  EXPECT_EQ(found.join(", ").toStdString(),
            "16 16 4, 20 0 32, 24 0 32, 32 16 4, 40 0 32, 48 0 32, 64 0 32, 256 0 32");
}

TEST_F(ProgramIconTest, TrueColourImagesAreTheDrawingAtTheirSize) {
  for (const Entry& e : entries_) {
    if (e.bits != 32) continue;
    const QImage picture = Picture(e);
    ASSERT_EQ(picture.size(), QSize(e.size, e.size)) << e.size;
    EXPECT_LE(LargestDifference(picture, tidwen::art::SizedIcon(e.size)), 1) << e.size;
  }
}

}  // namespace
