#include "ui/window_style.h"

#include <QApplication>
#include <QFontInfo>
#include <QPalette>
#include <QStringList>
#include <QWidget>

#include "ui/resources.h"

namespace tidwen {

void RegisterFontSubstitutes() {
  static const bool registered = [] {
    const QStringList song{"AR PL UMing CN", "AR PL UMing TW", "AR PL UMing HK"};
    const QStringList brush{"AR PL UKai CN", "AR PL UKai TW", "AR PL UKai HK"};
    QFont::insertSubstitutions(kSongTi, song);
    QFont::insertSubstitutions(kHuawenZhongsong, song);
    QFont::insertSubstitutions(kFangzhengShuti, brush);
    return true;
  }();
  (void)registered;
}

void SetUpWindow(QWidget& window, const char* objectName, QSize size) {
  RegisterFontSubstitutes();
  window.setObjectName(objectName);
  window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                        Qt::MSWindowsFixedSizeDialogHint);
  window.setWindowTitle(QStringLiteral("Tidwenv1.1"));
  window.setWindowIcon(AppIcon());
  window.setFont(DefaultWindowFont());
  window.setFixedSize(size);
}

QFont MakeFont(const QString& family, double points, bool bold, bool italic) {
  QFont font(family);
  font.setPointSizeF(points);
  font.setBold(bold);
  font.setItalic(italic);
  return font;
}

QFont DefaultWindowFont() {
  QFont font = QApplication::font();
  // The face the platform's font resolves to (its name may be an alias such
  // as "Sans Serif"); Chinese text takes the Song face rather than whichever
  // CJK face the system would fall back to.
  font.setFamilies({QFontInfo(font).family(), kSongTi});
  font.setPointSizeF(9);
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

}  // namespace tidwen
