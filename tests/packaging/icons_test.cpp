// The icons the package installs are the current drawing, each drawn at its
// own size; the window's pixel icon is the same design in 16 colours.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstdlib>

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

// tidwen.exe's icon holds a 16 x 16 image beside the 32 x 32 one, both in
// 16 colours, so title bars and the taskbar do not shrink the larger one;
// the larger pictures follow for the shell.
TEST(IconArtTest, ProgramIconHoldsBothSmallSizesIn16Colours) {
  QFile file(kSource + "/src/resources/tidwen.ico");
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray ico = file.readAll();
  const auto byte = [&](int at) { return int(static_cast<unsigned char>(ico.at(at))); };
  ASSERT_GE(ico.size(), 6);
  QStringList entries;  // "width x height, colours, bits"
  for (int i = 0; i < byte(4) && 6 + 16 * i + 8 <= ico.size(); ++i) {
    const int at = 6 + 16 * i;
    entries << QString("%1x%2 %3 %4")
                   .arg(byte(at))
                   .arg(byte(at + 1))
                   .arg(byte(at + 2))
                   .arg(byte(at + 6));
  }
  EXPECT_EQ(entries, (QStringList{"16x16 16 4", "32x32 16 4", "48x48 0 32", "0x0 0 32"}));
}

}  // namespace
