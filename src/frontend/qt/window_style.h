// Units, fonts and colours shared by Tidwen's windows.
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QRect>
#include <QSize>
#include <QString>

class QStyle;
class QWidget;

namespace tidwen::qt {

// Layouts are given in twips, 15 to a pixel at 96 dots per inch.
constexpr int Twips(int twips) { return twips / 15; }
constexpr QRect TwipsRect(int left, int top, int width, int height) {
  return QRect(Twips(left), Twips(top), Twips(width), Twips(height));
}

// The Simplified-Chinese faces the windows ask for. Where a face is missing,
// RegisterFontSubstitutes() makes Qt use a font of the same style instead.
inline const QString kSongTi = QStringLiteral("宋体");
inline const QString kHuawenZhongsong = QStringLiteral("华文中宋");
inline const QString kFangzhengShuti = QStringLiteral("方正舒体");

// Song/Ming-style faces (AR PL UMing) for 宋体 and 华文中宋, a brush face
// (AR PL UKai) for 方正舒体. Safe to call more than once.
void RegisterFontSubstitutes();

// A font of the family at a size in points; RegisterFontSubstitutes() first.
QFont MakeFont(const QString& family, double points, bool bold = false, bool italic = false);

// The windows' default user-interface font: the platform's own face, at
// 9 pt whatever the desktop's size, since every control has a fixed size in
// pixels. Chinese text in it is set in the face that stands for 宋体.
QFont DefaultWindowFont();

// Makes window one of Tidwen's fixed-size windows: the object name, a title
// bar with a close button only, the title "Tidwenv1.1", the application icon
// and DefaultWindowFont(). Registers the font substitutes first.
void SetUpWindow(QWidget& window, const char* objectName, QSize size);

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

// The text colour of the results list: the title-bar colour of the classic
// desktop the window imitates.
inline const QColor kActiveTitleBarColor(0, 0, 128);

}  // namespace tidwen::qt
