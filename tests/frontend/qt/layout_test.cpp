// The two windows against their layout tables: geometry, captions, colours
// and fonts of every control, the windows themselves, and the tab order.
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <optional>

#include "gui_test_support.h"
#include "frontend/qt/picture_box.h"
#include "frontend/qt/window_style.h"

namespace tidwen::test {
namespace {

using Rgb = std::optional<QColor>;
const Rgb kNone;
const QColor kOrange(255, 192, 128), kGreen(192, 255, 192), kCream(255, 255, 192);
const QColor kBrick(192, 64, 0), kRed(255, 0, 0), kYellow(255, 255, 0);

struct FontSpec {
  QString family;  // as the program asks for it; empty for the window's font
  double points;
  bool bold;
  bool italic;
};
const FontSpec kWindowFont{"", 9, false, false};

// One row of a layout table, in twips as the tables give them.
struct Row {
  const char* name;
  const char* container;
  int left, top, width, height;
  std::optional<QString> text;
  Rgb background;  // nullopt: the platform's default
  Rgb foreground;
  FontSpec font;
};

// The text a control shows, whatever its kind.
std::optional<QString> TextOf(QWidget& w) {
  if (auto* label = qobject_cast<QLabel*>(&w)) return label->text();
  if (auto* button = qobject_cast<QAbstractButton*>(&w)) return button->text();
  return std::nullopt;
}

QPalette::ColorRole BackgroundRole(QWidget& w) {
  if (qobject_cast<QAbstractButton*>(&w)) return QPalette::Button;
  if (qobject_cast<QAbstractItemView*>(&w) || qobject_cast<QComboBox*>(&w)) return QPalette::Base;
  return w.backgroundRole();
}

QPalette::ColorRole ForegroundRole(QWidget& w) {
  if (qobject_cast<QAbstractButton*>(&w)) return QPalette::ButtonText;
  if (qobject_cast<QAbstractItemView*>(&w)) return QPalette::Text;
  return w.foregroundRole();
}

void CheckRow(QWidget& window, const Row& row, bool sizedToText = false) {
  SCOPED_TRACE(row.name);
  QWidget* w = window.findChild<QWidget*>(row.name);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->parentWidget()->objectName(), QString::fromLatin1(row.container));
  const QRect expected(row.left / 15, row.top / 15, row.width / 15, row.height / 15);
  if (sizedToText) {
    // Placed as the table says, and as large as its text in the font that
    // stands in, so that nothing of it is cut off.
    EXPECT_EQ(w->pos(), expected.topLeft());
    EXPECT_EQ(w->size(), w->sizeHint());
  } else {
    EXPECT_EQ(w->geometry(), expected);
  }
  if (row.text) {
    EXPECT_EQ(TextOf(*w), row.text);
  }
  const QPalette defaults = QApplication::palette(w);
  const QColor background = w->palette().color(BackgroundRole(*w));
  EXPECT_EQ(background, row.background.value_or(defaults.color(BackgroundRole(*w))));
  if (row.background && qobject_cast<QLabel*>(w)) {
    EXPECT_TRUE(w->autoFillBackground());
  }
  const QColor foreground = w->palette().color(ForegroundRole(*w));
  EXPECT_EQ(foreground, row.foreground.value_or(defaults.color(ForegroundRole(*w))));
  EXPECT_EQ(w->font().family(),
            row.font.family.isEmpty() ? DefaultWindowFont().family() : row.font.family);
  EXPECT_DOUBLE_EQ(w->font().pointSizeF(), row.font.points);
  EXPECT_EQ(w->font().bold(), row.font.bold);
  EXPECT_EQ(w->font().italic(), row.font.italic);
  EXPECT_FALSE(w->accessibleName().isEmpty());
}

// The main window's table. Transparent labels have no background of their
// own (checked separately).
const Row kForm1Rows[] = {
    {"Drive1", "Form1", 2160, 240, 1815, 300, {}, kOrange, kNone, kWindowFont},
    {"Dir1", "Form1", 2160, 600, 1815, 2820, {}, kGreen, kNone, kWindowFont},
    {"File1", "Form1", 4080, 600, 2415, 2730, {}, kGreen, kNone, kWindowFont},
    {"Frame1", "Form1", 360, 3480, 8655, 735, {}, kOrange, kNone, kWindowFont},
    {"Label1", "Frame1", 120, 120, 8295, 375, "", kOrange, kNone, kWindowFont},
    {"List2", "Form1", 6600, 600, 2415, 2790, {}, kGreen, kNone, kWindowFont},
    {"Label3", "Form1", 4080, 240, 2535, 255, "  当前文件夹的所有文件", kOrange, kNone,
     kWindowFont},
    {"Label4", "Form1", 6720, 240, 2415, 255, "  请选择扫描的文件类型", kOrange, kNone,
     kWindowFont},
    {"List1", "Form1", 2160, 240, 6855, 3210, {}, kCream, QColor(0, 0, 128), kWindowFont},
    {"List3", "Form1", 6720, 240, 2295, 2760, {}, kNone, kNone, kWindowFont},
    {"Picture1", "Form1", 360, 240, 1695, 1095, {}, kNone, kNone, kWindowFont},
    {"Label2", "Picture1", 120, 120, 1335, 375, "Tidwen", kNone, kRed,
     {"华文中宋", 14.25, true, true}},
    {"Command5", "Form1", 360, 2400, 1695, 375, "全       选", kBrick, kNone, kWindowFont},
    {"Command4", "Form1", 360, 3120, 1695, 375, "退       出", kBrick, kNone, kWindowFont},
    {"Command3", "Form1", 360, 2040, 1695, 375, "选择扫描类型", kBrick, kNone, kWindowFont},
    {"Command2", "Form1", 360, 1680, 1695, 375, "删       除", kBrick, kNone, kWindowFont},
    {"Command1", "Form1", 360, 1320, 1695, 375, "扫      描", kBrick, kNone,
     {"宋体", 10.5, false, false}},
    {"Label5", "Picture1", 120, 480, 1455, 255, "Orvanta", kNone, kYellow,
     {"宋体", 9, false, true}},
    {"Label6", "Picture1", 0, 720, 1455, 255, {}, kNone, kYellow, {"宋体", 9, false, true}},
    {"Command6", "Form1", 360, 2760, 1695, 375, "关       于", kBrick, kNone, kWindowFont},
};

// The about window's table. Labels 1 to 5 are sized to their text.
const Row kForm2Rows[] = {
    {"Picture1", "Form2", 0, 0, 615, 975, {}, kNone, kNone, kWindowFont},
    {"Label1", "Form2", 1320, 120, 1875, 450, "Tidwen", kNone, QColor(128, 64, 0),
     {"方正舒体", 21.75, false, false}},
    {"Label2", "Form2", 120, 1560, 360, 720, "O", kNone, kRed, {"宋体", 36, false, true}},
    {"Label3", "Form2", 600, 1680, 3900, 285, "rvanta ", kNone, kRed, {"宋体", 14.25, false, true}},
    {"Label4", "Form2", 1080, 1320, 2325, 315, "Orvanta", kNone, kYellow,
     {"宋体", 15.75, true, true}},
    {"Label5", "Form2", 2040, 840, 435, 435, "★", kNone, kRed, {"宋体", 21.75, false, false}},
    {"Label6", "Form2", 240, 2160, 4455, 255, {}, kNone, QColor(255, 0, 255), kWindowFont},
};

class LayoutTest : public WindowTest {};

TEST_F(LayoutTest, MainWindowFollowsItsTable) {
  Form1& form = Form();
  for (const Row& row : kForm1Rows) CheckRow(form, row);
  // The labels over the logo let it show through.
  for (const char* name : {"Label2", "Label5", "Label6"}) {
    EXPECT_FALSE(Child<QLabel>(form, name)->autoFillBackground()) << name;
  }
  // Label6 gives a contact address, and it fits its box.
  auto* label6 = Child<QLabel>(form, "Label6");
  EXPECT_TRUE(label6->text().endsWith("@example.com"));
  EXPECT_LE(QFontMetrics(label6->font()).boundingRect(label6->text()).width(), label6->width());
  // The results list lies over the headings it covers.
  QWidget* list1 = Child<QWidget>(form, "List1");
  QWidget* label3 = Child<QWidget>(form, "Label3");
  EXPECT_LT(form.children().indexOf(label3), form.children().indexOf(list1));

  // The logo is drawn at its natural size from the box's corner.
  auto* picture = Child<PictureBox>(form, "Picture1");
  EXPECT_EQ(picture->Picture().size(), QSize(122, 70));
}

// Colours as drawn, not only as set, and captions from the top left of
// their boxes as the platform draws them.
TEST_F(LayoutTest, ColoursAndCaptionsAsDrawn) {
  Form1& form = ShownForm();
  for (const char* name : {"Command1", "Command2", "Command3", "Command4", "Command5", "Command6",
                           "Drive1"}) {
    SCOPED_TRACE(name);
    const QImage image = Child<QWidget>(form, name)->grab().toImage();
    const bool drive = name == std::string("Drive1");
    // Inside the bevel, clear of the text and the drop-down button.
    const int r = image.width() - (drive ? 23 : 3), b = image.height() - 3;
    for (const QPoint at : {QPoint(2, 2), QPoint(r, 2), QPoint(2, b), QPoint(r, b)})
      EXPECT_EQ(image.pixelColor(at), drive ? kOrange : kBrick) << at.x() << "," << at.y();
  }
  Child<StatusLabel>(form, "Label1")->SetCaption("共找到 5个垃圾文件");
  QApplication::processEvents();
  for (const char* name : {"Label1", "Label3", "Label4"}) {
    const QImage image = Child<QWidget>(form, name)->grab().toImage();
    const QRgb background = image.pixel(image.width() - 1, image.height() - 1);
    const auto blank = [&](int y) {
      for (int x = 0; x < image.width(); ++x) {
        if (image.pixel(x, y) != background) return false;
      }
      return true;
    };
    int firstInked = 0;
    while (firstInked < image.height() && blank(firstInked)) ++firstInked;
    EXPECT_LE(firstInked, 3) << name;
  }
}

TEST_F(LayoutTest, MainWindowIsFixedWithCaptionColourAndIcon) {
  Form1& form = Form();
  EXPECT_EQ(form.windowTitle(), "Tidwenv1.1");
  EXPECT_EQ(form.size(), QSize(627, 286));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  const Qt::WindowFlags flags = form.windowFlags();
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(form.palette().color(QPalette::Window), kOrange);
  EXPECT_TRUE(form.autoFillBackground());
  ASSERT_FALSE(form.windowIcon().isNull());
  EXPECT_TRUE(form.windowIcon().availableSizes().contains(QSize(32, 32)));
}

TEST_F(LayoutTest, TabOrderFollowsTheTableAndSkipsWhatTakesNoFocus) {
  Form1& form = ShownForm();
  QStringList order;
  QWidget* w = Child<QWidget>(form, "Drive1");
  for (int i = 0; i < 1000 && (order.isEmpty() || w->objectName() != order.front()); ++i) {
    if (w->isVisible() && (w->focusPolicy() & Qt::TabFocus) && !w->objectName().isEmpty())
      order << w->objectName();
    w = w->nextInFocusChain();
  }
  // List1 and List3 are hidden at start, so the chain passes them by.
  EXPECT_EQ(order, QStringList({"Drive1", "Dir1", "File1", "List2", "Picture1", "Command5",
                                "Command4", "Command3", "Command2", "Command1", "Command6"}));
}

TEST_F(LayoutTest, AboutWindowFollowsItsTable) {
  Form2 about;
  EXPECT_EQ(about.windowTitle(), "Tidwenv1.1");
  EXPECT_EQ(about.size(), QSize(312, 213));
  EXPECT_EQ(about.minimumSize(), about.maximumSize());
  EXPECT_FALSE(about.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_FALSE(about.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(about.windowIcon().isNull());
  for (const Row& row : kForm2Rows) CheckRow(about, row, row.name != std::string("Picture1") &&
                                                             row.name != std::string("Label6"));
  EXPECT_FALSE(Child<QLabel>(about, "Label1")->autoFillBackground());
  EXPECT_FALSE(Child<QLabel>(about, "Label2")->autoFillBackground());
  for (const char* name : {"Label3", "Label4", "Label5", "Label6"}) {
    EXPECT_TRUE(Child<QLabel>(about, name)->autoFillBackground()) << name;
  }
  // The initial and the rest of the name read as the maker's name.
  EXPECT_EQ(Child<QLabel>(about, "Label2")->text() + Child<QLabel>(about, "Label3")->text(),
            "Orvanta ");
  const QString author = Child<QLabel>(about, "Label6")->text();
  EXPECT_TRUE(author.contains("Orvanta") && author.contains("@example.com"));

  // Two rules, indexes 0 and 1, and the red line.
  const QRect ruleAt[] = {QRect(56, 40, 209, 9), QRect(8, 176, 297, 9)};
  int rules = 0;
  for (QFrame* frame : about.findChildren<QFrame*>("Frame1")) {
    const int index = frame->property("index").toInt();
    ASSERT_TRUE(index == 0 || index == 1);
    EXPECT_EQ(frame->geometry(), ruleAt[index]);
    ++rules;
  }
  EXPECT_EQ(rules, 2);
  auto* line = Child<LineControl>(about, "Line1");
  EXPECT_EQ(line->From(), QPoint(16, 136));
  EXPECT_EQ(line->To(), QPoint(304, 136));
  EXPECT_EQ(line->Color(), kRed);
  // The icon in the corner, and the only control that takes the focus.
  auto* picture = Child<PictureBox>(about, "Picture1");
  EXPECT_EQ(picture->Picture().size(), QSize(32, 32));
  EXPECT_NE(picture->focusPolicy(), Qt::NoFocus);
}

TEST_F(LayoutTest, FacesStandInForTheMissingChineseFonts) {
  const QStringList installed = QFontDatabase::families();
  if (!installed.contains("AR PL UMing CN") || !installed.contains("AR PL UKai CN"))
    GTEST_SKIP() << "the AR PL UMing and UKai fonts (fonts-arphic-uming, -ukai) are not installed";
  Form1& form = Form();
  Form2 about;
  // A Song/Ming face for 宋体 and 华文中宋, a brush face for 方正舒体, unless
  // the real fonts are installed.
  const auto family = [](QWidget* w) { return QFontInfo(w->font()).family(); };
  const auto expect = [&](QWidget* w, const QString& asked, const QString& standIn) {
    if (QFontInfo(w->font()).exactMatch()) return;  // the real face is there
    EXPECT_TRUE(family(w).startsWith(standIn)) << asked.toStdString() << " -> "
                                               << family(w).toStdString();
  };
  expect(Child<QWidget>(form, "Command1"), "宋体", "AR PL UMing");
  expect(Child<QWidget>(form, "Label2"), "华文中宋", "AR PL UMing");
  expect(Child<QWidget>(about, "Label1"), "方正舒体", "AR PL UKai");
}

}  // namespace
}  // namespace tidwen::test
