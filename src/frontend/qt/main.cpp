// Tidwen: finds junk files on one drive and deletes those the user picks.
#include <QApplication>

#include "frontend/qt/form1.h"
#include "frontend/qt/resources.h"
#include "platform/platform.h"
#include "resources/version.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tidwen"));
  QApplication::setApplicationVersion(QStringLiteral(TIDWEN_VERSION));
  // Names the menu entry, so the desktop shows the entry's name and icon.
  QApplication::setDesktopFileName(QStringLiteral(TIDWEN_APP_ID));
  // The windows choose their own colours; one style everywhere keeps them
  // looking as intended whatever the desktop's theme.
  QApplication::setStyle(QStringLiteral("Fusion"));
  QApplication::setWindowIcon(tidwen::qt::AppIcon());

  const std::unique_ptr<tidwen::Platform> platform = tidwen::MakeSystemPlatform();
  tidwen::qt::Form1 form(*platform);
  form.show();
  return app.exec();
}
