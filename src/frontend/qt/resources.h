// The pictures built into the program.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace tidwen::qt {

// The 122 x 70 logo of the main window.
QPixmap LogoPixmap();
// The 32 x 32, 16-colour program icon, as a picture and as a window icon.
QPixmap IconPixmap();
QIcon AppIcon();

}  // namespace tidwen::qt
