#include "frontend/qt/resources.h"

// The resources live in a static library: nothing would pull them into the
// program unless something names their initialiser.
static void InitTidwenResources() { Q_INIT_RESOURCE(tidwen); }

namespace tidwen::qt {

namespace {
void EnsureResources() {
  static const bool done = (InitTidwenResources(), true);
  (void)done;
}
}  // namespace

QPixmap LogoPixmap() {
  EnsureResources();
  return QPixmap(QStringLiteral(":/tidwen/logo.jpg"));
}

QPixmap IconPixmap() {
  EnsureResources();
  return QPixmap(QStringLiteral(":/tidwen/tidwen.png"));
}

QIcon AppIcon() { return QIcon(IconPixmap()); }

}  // namespace tidwen::qt
