// Tidwen's program icon, a broom over a small heap of dust, kept as one list
// of shapes on a 32 x 32 grid. From it come the 16-colour pixel icon of the
// window, the desktop's icons drawn at each size, and the scalable SVG.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QRgb>
#include <array>

namespace tidwen::art {

// The sixteen colours of a classic 4-bit display, in their usual order.
extern const QRgb kVgaColors[16];

// The sizes of the desktop's icon theme that get a picture of their own.
inline constexpr std::array<int, 8> kIconSizes{16, 22, 24, 32, 48, 64, 128, 256};

// The 32 x 32 window icon, drawn without antialiasing: every pixel is
// transparent or one of kVgaColors.
QImage PixelIcon();

// The icon drawn at size x size with antialiasing, in the same colours.
// Lines keep at least one pixel's width, so the small sizes stay sharp.
QImage SizedIcon(int size);

// The icon as an SVG document over the same 32 x 32 grid.
QByteArray IconSvg();

}  // namespace tidwen::art
