// The two windows against their layout tables: geometry, captions, colours
// and fonts of every control, the windows themselves, and the tab order.
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <optional>
#include <vector>

#include "expected_windows.h"
#include "frontend/qt/picture_box.h"
#include "frontend/qt/window_style.h"
#include "gui_test_support.h"

namespace tidwen::test {
namespace {

const QColor kOrange(255, 192, 128), kGreen(192, 255, 192), kCream(255, 255, 192);
const QColor kBrick(192, 64, 0), kRed(255, 0, 0);

// What the main window's controls are filled with; the others keep the
// platform's colour, or are transparent (checked apart).
QColor FillOf(std::string_view name) {
  if (name == "Dir1" || name == "File1" || name == "List2") return kGreen;
  if (name == "List1") return kCream;
  if (name.substr(0, 7) == "Command") return kBrick;
  if (name == "Drive1" || name == "Frame1" || name == "Label1" || name == "Label3" ||
      name == "Label4")
    return kOrange;
  return {};
}

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

QWidget* Find(QWidget& window, const ExpectedControl& e) {
  for (QWidget* w :
       window.findChildren<QWidget*>(QString::fromUtf8(e.name.data(), e.name.size()))) {
    if (e.index < 0 || w->property("index").toInt() == e.index) return w;
  }
  return nullptr;
}

// A control against its row: container, place and size, text, colours,
// font, focus, and a name for screen readers.
void CheckControl(QWidget& window, const ExpectedControl& e) {
  SCOPED_TRACE(std::string(e.name) + (e.index >= 0 ? "(" + std::to_string(e.index) + ")" : ""));
  QWidget* w = Find(window, e);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->parentWidget()->objectName().toStdString(),
            e.container.empty() ? e.window : e.container);
  const QRect expected(e.left / 15, e.top / 15, e.width / 15, e.height / 15);
  // The about window's labels 1 to 5 are as large as their text in the font
  // that stands in, so that nothing of it is cut off.
  if (e.window == "Form2" && e.name.substr(0, 5) == "Label" && e.name != "Label6") {
    EXPECT_EQ(w->pos(), expected.topLeft());
    EXPECT_EQ(w->size(), w->sizeHint());
  } else {
    EXPECT_EQ(w->geometry(), expected);
  }
  if (const std::optional<QString> text = TextOf(*w)) {
    EXPECT_EQ(text->toStdString(), e.caption);
  }
  const QPalette defaults = QApplication::palette(w);
  const QColor fill = e.window == "Form1" ? FillOf(e.name) : QColor();
  EXPECT_EQ(w->palette().color(BackgroundRole(*w)),
            fill.isValid() ? fill : defaults.color(BackgroundRole(*w)));
  EXPECT_EQ(w->palette().color(ForegroundRole(*w)),
            e.r < 0 ? defaults.color(ForegroundRole(*w)) : QColor(e.r, e.g, e.b));
  EXPECT_EQ(w->font().family().toStdString(),
            e.face.empty() ? DefaultWindowFont().family().toStdString() : std::string(e.face));
  EXPECT_DOUBLE_EQ(w->font().pointSizeF(), e.face.empty() ? 9 : e.points);
  EXPECT_EQ(w->font().bold(), e.bold);
  EXPECT_EQ(w->font().italic(), e.italic);
  EXPECT_EQ(w->focusPolicy() != Qt::NoFocus, e.takesFocus);
  EXPECT_FALSE(w->accessibleName().isEmpty());
}

class LayoutTest : public WindowTest {};

TEST_F(LayoutTest, MainWindowFollowsItsTable) {
  Form1& form = Form();
  for (const ExpectedControl& e : kExpectedForm1) CheckControl(form, e);
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
  for (const char* name :
       {"Command1", "Command2", "Command3", "Command4", "Command5", "Command6", "Drive1"}) {
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
  EXPECT_EQ(form.size(), QSize(kForm1Width / 15, kForm1Height / 15));
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
  // List1 is hidden at start, so the chain passes it by.
  std::vector<ExpectedControl> expected;
  for (const ExpectedControl& e : kExpectedForm1)
    if (e.takesFocus && e.name != "List1") expected.push_back(e);
  std::sort(expected.begin(), expected.end(),
            [](const auto& a, const auto& b) { return a.tabIndex < b.tabIndex; });
  QStringList names;
  for (const ExpectedControl& e : expected)
    names << QString::fromUtf8(e.name.data(), e.name.size());
  EXPECT_EQ(order, names);
}

TEST_F(LayoutTest, AboutWindowFollowsItsTable) {
  Form2 about;
  EXPECT_EQ(about.windowTitle(), "Tidwenv1.1");
  EXPECT_EQ(about.size(), QSize(kForm2Width / 15, kForm2Height / 15));
  EXPECT_EQ(about.minimumSize(), about.maximumSize());
  EXPECT_FALSE(about.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_FALSE(about.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(about.windowIcon().isNull());
  for (const ExpectedControl& e : kExpectedForm2) CheckControl(about, e);
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
  EXPECT_EQ(about.findChildren<QFrame*>("Frame1").size(), 2);
  auto* line = Child<LineControl>(about, "Line1");
  EXPECT_EQ(line->From(), QPoint(kExpectedLine1[0] / 15, kExpectedLine1[1] / 15));
  EXPECT_EQ(line->To(), QPoint(kExpectedLine1[2] / 15, kExpectedLine1[3] / 15));
  EXPECT_EQ(line->Color(), kRed);
  // The icon in the corner, and the only control that takes the focus.
  auto* picture = Child<PictureBox>(about, "Picture1");
  EXPECT_EQ(picture->Picture().size(), QSize(32, 32));
  EXPECT_NE(picture->focusPolicy(), Qt::NoFocus);
}

// The about window's large italic "O" as painted: its left stroke is there,
// and no column of it is cut at the label's edges. The rest of the name,
// also red, is hidden so as not to be taken for the letter.
TEST_F(LayoutTest, TheLeaningInitialOfTheAboutWindowIsPaintedWhole) {
  Form2 about;
  Child<QLabel>(about, "Label3")->hide();
  const QImage image = about.grab().toImage();
  const QRect label = Child<QLabel>(about, "Label2")->geometry();
  const int lineY = kExpectedLine1[1] / 15;
  std::vector<int> red(static_cast<std::size_t>(label.width()));
  for (int x = label.left(); x <= label.right(); ++x) {
    for (int y = label.top(); y <= label.bottom(); ++y) {
      const QColor c = image.pixelColor(x, y);
      if (std::abs(y - lineY) > 1 && c.red() > 200 && c.green() < 90 && c.blue() < 90)
        ++red[static_cast<std::size_t>(x - label.left())];
    }
  }
  ASSERT_GT(red.size(), 2u);
  EXPECT_EQ(red.front(), 0) << "the letter is cut at the label's left edge";
  EXPECT_EQ(red.back(), 0) << "the letter is cut at the label's right edge";
  const std::size_t third = red.size() / 3;
  EXPECT_GT(std::accumulate(red.begin(), red.begin() + third, 0), 0);
  EXPECT_GT(std::accumulate(red.end() - third, red.end(), 0), 0);
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
    EXPECT_TRUE(family(w).startsWith(standIn))
        << asked.toStdString() << " -> " << family(w).toStdString();
  };
  expect(Child<QWidget>(form, "Command1"), "宋体", "AR PL UMing");
  expect(Child<QWidget>(form, "Label2"), "华文中宋", "AR PL UMing");
  expect(Child<QWidget>(about, "Label1"), "方正舒体", "AR PL UKai");
}

}  // namespace
}  // namespace tidwen::test
