#include "ui/status_label.h"

#include <QMetaObject>

#include "model/display_text.h"

namespace tidwen {

StatusLabel::StatusLabel(RepaintPacer& pacer, QWidget* parent) : QLabel(parent), pacer_(pacer) {
  // Paths are shown as they are, never read as markup.
  setTextFormat(Qt::PlainText);
}

StatusLabel::~StatusLabel() { pacer_.Forget(*this); }

void StatusLabel::SetCaption(std::string_view caption) {
  caption_.assign(caption);
  stale_ = true;
  if (showPosted_) return;
  showPosted_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        showPosted_ = false;
        ShowCaption();
      },
      Qt::QueuedConnection);
}

void StatusLabel::ShowCaption() {
  if (!stale_) return;
  stale_ = false;
  setText(QString::fromStdString(DisplayText(caption_)));
}

void StatusLabel::PaintNow() {
  ShowCaption();
  if (isVisible()) repaint();
}

}  // namespace tidwen
