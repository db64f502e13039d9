#include "frontend/qt/form2.h"

#include <QFrame>
#include <QLabel>

#include "frontend/qt/picture_box.h"
#include "frontend/qt/resources.h"
#include "frontend/qt/window_style.h"

namespace tidwen::qt {

namespace {

enum class Fill { kTransparent, kWindow };
enum class Size { kFixed, kToText };

// A label over the window. A transparent one lets what lies beneath show
// around its text; the others are filled with the window's colour. A label
// sized to its text takes the size its text has in the font that actually
// stands in, so a wider substitute never clips it.
QLabel* AddLabel(QWidget* parent, const char* name, const QString& text, QRect geometry,
                 const QColor& color, const QFont& font, Fill fill, Size size) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setTextFormat(Qt::PlainText);
  label->setFont(font);
  label->setGeometry(geometry);
  if (size == Size::kToText) label->resize(label->sizeHint());
  SetColor(*label, QPalette::WindowText, color);
  label->setAutoFillBackground(fill == Fill::kWindow);
  label->setAccessibleName(text.trimmed());
  return label;
}

// One of the two rules: a captionless frame so low that it shows as a bar.
QFrame* AddRule(QWidget* parent, int index, QRect geometry) {
  auto* rule = new QFrame(parent);
  rule->setObjectName("Frame1");
  rule->setProperty("index", index);
  rule->setFrameStyle(QFrame::Box | QFrame::Sunken);
  rule->setGeometry(geometry);
  rule->setAccessibleName(QStringLiteral("分隔线"));
  return rule;
}

}  // namespace

Form2::Form2(QWidget* parent) : QWidget(parent, Qt::Window) {
  SetUpWindow(*this, "Form2", QSize(Twips(4680), Twips(3195)));

  // Drawn on the window's surface, beneath every control.
  auto* line = new LineControl(QPoint(Twips(240), Twips(2040)), QPoint(Twips(4560), Twips(2040)),
                               QColor(255, 0, 0), this);
  line->setObjectName("Line1");

  auto* picture = new PictureBox(IconPixmap(), this);
  picture->setObjectName("Picture1");
  picture->setGeometry(TwipsRect(0, 0, 615, 975));
  picture->setFocusPolicy(Qt::StrongFocus);
  picture->setAccessibleName(QStringLiteral("Tidwen 图标"));

  const QString maker = QStringLiteral("Orvanta");
  AddLabel(this, "Label1", QStringLiteral("Tidwen"), TwipsRect(1320, 120, 1875, 450),
           QColor(128, 64, 0), MakeFont(kFangzhengShuti, 21.75), Fill::kTransparent,
           Size::kToText);
  QLabel* initial = AddLabel(this, "Label2", maker.left(1), TwipsRect(120, 1560, 360, 720),
                             QColor(255, 0, 0), MakeFont(kSongTi, 36, false, true),
                             Fill::kTransparent, Size::kToText);
  AddLabel(this, "Label3", maker.mid(1).toLower() + ' ', TwipsRect(600, 1680, 3900, 285),
           QColor(255, 0, 0), MakeFont(kSongTi, 14.25, false, true), Fill::kWindow,
           Size::kToText);
  AddLabel(this, "Label4", maker, TwipsRect(1080, 1320, 2325, 315), QColor(255, 255, 0),
           MakeFont(kSongTi, 15.75, true, true), Fill::kWindow, Size::kToText);
  AddRule(this, 0, TwipsRect(840, 600, 3135, 135));
  AddLabel(this, "Label5", QStringLiteral("★"), TwipsRect(2040, 840, 435, 435),
           QColor(255, 0, 0), MakeFont(kSongTi, 21.75), Fill::kWindow, Size::kToText);
  AddLabel(this, "Label6", QStringLiteral("作者：Orvanta  邮箱：orv@example.com"),
           TwipsRect(240, 2160, 4455, 255), QColor(255, 0, 255), DefaultWindowFont(),
           Fill::kWindow, Size::kFixed);
  AddRule(this, 1, TwipsRect(120, 2640, 4455, 135));
  // The large italic initial leans into the rest of the name; being
  // transparent, it can lie on top without hiding anything.
  initial->raise();
}

}  // namespace tidwen::qt
