#include "frontend/qt/window_style.h"

#include <qdrawutil.h>
#include <QApplication>
#include <QFontInfo>
#include <QPainter>
#include <QPalette>
#include <QProxyStyle>
#include <QPushButton>
#include <QStringList>
#include <QStyleFactory>
#include <QStyleOption>
#include <QWidget>

#include "frontend/qt/resources.h"

namespace tidwen::qt {

namespace {

class FlatStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
    switch (element) {
      case PE_PanelButtonCommand:
        qDrawWinButton(painter, option->rect, option->palette,
                       option->state & (State_Sunken | State_On),
                       &option->palette.brush(QPalette::Button));
        return;
      case PE_FrameFocusRect:
        DrawDottedFocus(option->rect, option->palette, painter);
        return;
      default:
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
  }

  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                          QPainter* painter, const QWidget* widget) const override {
    const auto* combo = qstyleoption_cast<const QStyleOptionComboBox*>(option);
    if (control != CC_ComboBox || !combo || combo->editable) {
      QProxyStyle::drawComplexControl(control, option, painter, widget);
      return;
    }
    qDrawWinPanel(painter, combo->rect, combo->palette, true,
                  &combo->palette.brush(QPalette::Base));
    // The drop-down button keeps the platform's button colour.
    const QRect arrow = subControlRect(CC_ComboBox, combo, SC_ComboBoxArrow, widget);
    const bool down =
        (combo->activeSubControls & SC_ComboBoxArrow) && (combo->state & State_Sunken);
    const QPalette platform = QApplication::palette();
    qDrawWinButton(painter, arrow, platform, down, &platform.brush(QPalette::Button));
    QStyleOption arrowOption(*combo);
    arrowOption.palette = platform;
    arrowOption.rect = arrow.adjusted(3, 3, -3, -3).translated(down ? 1 : 0, down ? 1 : 0);
    QProxyStyle::drawPrimitive(PE_IndicatorArrowDown, &arrowOption, painter, widget);
    if (combo->state & State_HasFocus) {
      DrawDottedFocus(
          subControlRect(CC_ComboBox, combo, SC_ComboBoxEditField, widget).adjusted(1, 1, -1, -1),
          combo->palette, painter);
    }
  }

 private:
  // The dotted focus rectangle of the classic controls.
  static void DrawDottedFocus(const QRect& rect, const QPalette& palette, QPainter* painter) {
    painter->save();
    painter->setPen(QPen(palette.color(QPalette::WindowText), 1, Qt::DotLine));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(rect.adjusted(0, 0, -1, -1));
    painter->restore();
  }
};

}  // namespace

QStyle* FlatControlStyle() {
  // Over whichever style the application uses, and gone with it.
  static QStyle* const style = [] {
    auto* flat = new FlatStyle(QStyleFactory::create(QApplication::style()->name()));
    flat->setParent(QApplication::instance());
    return flat;
  }();
  return style;
}

void RegisterFontSubstitutes() {
  static const bool registered = [] {
    const QStringList song{"AR PL UMing CN", "AR PL UMing TW", "AR PL UMing HK"};
    const QStringList brush{"AR PL UKai CN", "AR PL UKai TW", "AR PL UKai HK"};
    QFont::insertSubstitutions(ToQString(frontend::kSongTi), song);
    QFont::insertSubstitutions(ToQString(frontend::kHuawenZhongsong), song);
    QFont::insertSubstitutions(ToQString(frontend::kFangzhengShuti), brush);
    return true;
  }();
  (void)registered;
}

void SetUpWindow(QWidget& window, const frontend::WindowDescription& layout) {
  RegisterFontSubstitutes();
  window.setObjectName(ToQString(layout.name));
  window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                        Qt::MSWindowsFixedSizeDialogHint);
  window.setWindowTitle(ToQString(frontend::kCaption));
  window.setWindowIcon(AppIcon());
  window.setFont(DefaultWindowFont());
  window.setFixedSize(Twips(layout.width), Twips(layout.height));
  if (layout.fill == frontend::Fill::kColour) SetBackground(window, ToQColor(layout.background));
}

QFont ToQFont(const std::optional<frontend::FontSpec>& wanted) {
  if (!wanted) return DefaultWindowFont();
  QFont font(ToQString(wanted->face));
  font.setPointSizeF(wanted->points);
  font.setBold(wanted->bold);
  font.setItalic(wanted->italic);
  return font;
}

QFont DefaultWindowFont() {
  QFont font = QApplication::font();
  // The face the platform's font resolves to (its name may be an alias such
  // as "Sans Serif"); Chinese text takes the Song face rather than whichever
  // CJK face the system would fall back to.
  font.setFamilies({QFontInfo(font).family(), ToQString(frontend::kDefaultFont.face)});
  font.setPointSizeF(frontend::kDefaultFont.points);
  return font;
}

void SetColor(QWidget& widget, QPalette::ColorRole role, const QColor& color) {
  QPalette palette = widget.palette();
  palette.setColor(role, color);
  widget.setPalette(palette);
}

void SetBackground(QWidget& widget, const QColor& color) {
  SetColor(widget, widget.backgroundRole(), color);
  widget.setAutoFillBackground(true);
}

}  // namespace tidwen::qt
