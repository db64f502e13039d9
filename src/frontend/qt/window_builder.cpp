#include "frontend/qt/window_builder.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <stdexcept>
#include <string>

#include "frontend/qt/picture_box.h"
#include "frontend/qt/resources.h"
#include "frontend/qt/window_style.h"

namespace tidwen::qt {

namespace {

using frontend::ControlDescription;
using frontend::ControlKind;
using frontend::Fill;

// A command button that Enter presses as Space does. A plain QPushButton
// takes Enter only as a dialog's default button.
class CommandButton : public QPushButton {
 public:
  explicit CommandButton(QWidget* parent) : QPushButton(parent) { setAutoDefault(false); }

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        !(event->modifiers() & ~Qt::KeypadModifier)) {
      click();
      return;
    }
    QPushButton::keyPressEvent(event);
  }
};

QWidget* MakePlain(const ControlDescription& control, QWidget* parent) {
  switch (control.kind) {
    case ControlKind::kLabel:
      return new QLabel(parent);
    case ControlKind::kButton:
      return new CommandButton(parent);
    case ControlKind::kFrame:
    case ControlKind::kRule: {
      auto* frame = new QFrame(parent);
      frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
      return frame;
    }
    case ControlKind::kPicture:
      return new PictureBox(control.picture == frontend::Picture::kLogo ? LogoPixmap()
                                                                        : IconPixmap(),
                            parent);
    case ControlKind::kLine: {
      const frontend::TwipsRect& r = control.rect;
      return new LineControl(QPoint(Twips(r.left), Twips(r.top)),
                             QPoint(Twips(r.left + r.width), Twips(r.top + r.height)),
                             ToQColor(control.textColour.value_or(frontend::Rgb{})), parent);
    }
    default:
      throw std::logic_error("no plain widget for " + std::string(control.name));
  }
}

// The platform's colour for what fills a widget of this kind.
QColor PlatformFill(QWidget& widget) {
  return QApplication::palette(&widget).color(widget.backgroundRole());
}

// Colours as each kind draws them: buttons and the drive field flat in the
// layout's colour, lists on their base, the others on their background.
void Colour(QWidget& widget, const ControlDescription& control) {
  const bool given = control.fill == Fill::kColour;
  const QColor background = ToQColor(control.background);
  switch (control.kind) {
    case ControlKind::kButton:
      if (given) SetColor(widget, QPalette::Button, background);
      widget.setStyle(FlatControlStyle());
      break;
    case ControlKind::kDriveList:
      if (given) {
        SetColor(widget, QPalette::Button, background);
        SetColor(widget, QPalette::Base, background);
      }
      widget.setStyle(FlatControlStyle());
      break;
    case ControlKind::kDirList:
    case ControlKind::kFileList:
    case ControlKind::kCheckList:
    case ControlKind::kPlainList:
      if (given) SetColor(widget, QPalette::Base, background);
      if (control.textColour) SetColor(widget, QPalette::Text, ToQColor(*control.textColour));
      return;
    case ControlKind::kLabel:
    case ControlKind::kFrame:
    case ControlKind::kPicture:
      if (control.fill == Fill::kTransparent) {
        widget.setAutoFillBackground(false);
      } else {
        // The platform's own colour, not the window's that it lies on.
        SetBackground(widget, given ? background : PlatformFill(widget));
      }
      break;
    case ControlKind::kRule:
    case ControlKind::kLine:
      return;
  }
  if (control.textColour) SetColor(widget, QPalette::WindowText, ToQColor(*control.textColour));
}

void Apply(QWidget& widget, const ControlDescription& control) {
  widget.setObjectName(ToQString(control.name));
  if (control.index >= 0) widget.setProperty("index", control.index);
  if (control.kind != ControlKind::kLine) widget.setGeometry(ToQRect(control.rect));
  if (control.font) widget.setFont(ToQFont(control.font));
  if (auto* label = qobject_cast<QLabel*>(&widget)) {
    label->setTextFormat(Qt::PlainText);
    // From the top left of the box, as the platform draws its labels.
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setText(ToQString(control.caption));
  } else if (auto* button = qobject_cast<QAbstractButton*>(&widget)) {
    button->setText(ToQString(control.caption));
  }
  Colour(widget, control);
  if (!control.takesFocus) {
    widget.setFocusPolicy(Qt::NoFocus);
  } else if (widget.focusPolicy() == Qt::NoFocus) {
    widget.setFocusPolicy(Qt::StrongFocus);
  }
  if (!control.accessibleName.empty()) widget.setAccessibleName(ToQString(control.accessibleName));
  // In the font that stands in, so that a wider substitute never clips it.
  if (control.sizedToText) widget.resize(widget.sizeHint());
}

}  // namespace

std::vector<QWidget*> BuildControls(QWidget& window, const frontend::WindowDescription& layout,
                                    const ControlMaker& make) {
  std::vector<QWidget*> built;
  built.reserve(layout.controls.size());
  for (const ControlDescription& control : layout.controls) {
    QWidget* parent = control.container.empty()
                          ? &window
                          : ControlNamed<QWidget>(layout, built, control.container);
    if (!parent) throw std::logic_error("container made after " + std::string(control.name));
    QWidget* widget = make ? make(control, parent) : nullptr;
    if (!widget) widget = MakePlain(control, parent);
    Apply(*widget, control);
    built.push_back(widget);
  }
  QWidget* previous = nullptr;
  for (const ControlDescription* control : frontend::TabOrder(layout)) {
    QWidget* next = built[static_cast<std::size_t>(control - layout.controls.data())];
    if (previous) QWidget::setTabOrder(previous, next);
    previous = next;
  }
  return built;
}

}  // namespace tidwen::qt
