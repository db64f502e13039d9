#include "frontend/qt/status_label.h"

#include <QMetaObject>

#include "model/display_text.h"

namespace tidwen::qt {

namespace {

// What a screen reader calls the line while it shows nothing.
const QString kIdleName = QStringLiteral("状态");

}  // namespace

StatusLabel::StatusLabel(RepaintPacer& pacer, QWidget* parent) : QLabel(parent), pacer_(pacer) {
  // Paths are shown as they are, never read as markup.
  setTextFormat(Qt::PlainText);
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
  setAccessibleName(kIdleName);
}

StatusLabel::~StatusLabel() { pacer_.Forget(*this); }

void StatusLabel::SetCaption(std::string_view caption) {
  caption_.assign(caption);
  stale_ = true;
  if (pacer_.Held()) {
    pacer_.Request(*this);
    return;
  }
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
  const QString text = QString::fromStdString(DisplayText(caption_));
  setText(text);
  // A screen reader reads out what the line shows.
  setAccessibleName(text.isEmpty() ? kIdleName : text);
}

void StatusLabel::PaintNow() {
  ShowCaption();
  if (isVisible()) repaint();
}

}  // namespace tidwen::qt
