// Units, fonts and colours shared by Tidwen's windows.
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QRect>
#include <QSize>
#include <QString>
#include <optional>
#include <string_view>

#include "frontend/common/window_description.h"

class QStyle;
class QWidget;

namespace tidwen::qt {

// Layouts are given in twips, 15 to a pixel at 96 dots per inch.
constexpr int Twips(int twips) { return twips / 15; }
constexpr QRect TwipsRect(int left, int top, int width, int height) {
  return QRect(Twips(left), Twips(top), Twips(width), Twips(height));
}

constexpr QRect ToQRect(const frontend::TwipsRect& r) {
  return TwipsRect(r.left, r.top, r.width, r.height);
}

// The description's texts are UTF-8.
inline QString ToQString(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}
inline QColor ToQColor(frontend::Rgb rgb) { return QColor(rgb.red, rgb.green, rgb.blue); }

// Where one of the description's Chinese faces is missing, Qt uses a font
// of the same style: Song/Ming faces (AR PL UMing) for 宋体 and 华文中宋, a
// brush face (AR PL UKai) for 方正舒体. Safe to call more than once.
void RegisterFontSubstitutes();

// The font a control asks for; nullopt gives DefaultWindowFont().
// RegisterFontSubstitutes() first.
QFont ToQFont(const std::optional<frontend::FontSpec>& wanted);

// The windows' default user-interface font: the platform's own face, at the
// description's size whatever the desktop's, since every control has a
// fixed size in pixels. Chinese text in it is set in the description's
// default face.
QFont DefaultWindowFont();

// Makes window one of Tidwen's fixed-size windows as the description has
// it: the object name, size and fill, a title bar with a close button only,
// the shared caption, the application icon and DefaultWindowFont().
// Registers the font substitutes first.
void SetUpWindow(QWidget& window, const frontend::WindowDescription& layout);

// Sets one colour of a widget's palette; children that have no palette of
// their own (a list's viewport, say) take it too.
void SetColor(QWidget& widget, QPalette::ColorRole role, const QColor& color);
// Sets the colour of a widget's background role and asks Qt to fill it, so
// that the colour shows whatever the style.
void SetBackground(QWidget& widget, const QColor& color);

// A style for the controls whose colour the layout gives exactly: command
// buttons are drawn flat in their palette's Button colour inside the classic
// raised bevel, and a drop-down list's field flat in its Base colour inside a
// sunken one, where the application style would shade them. Everything else
// is drawn by the application style. One instance for the application; the
// widgets that use it do not own it.
QStyle* FlatControlStyle();

}  // namespace tidwen::qt
