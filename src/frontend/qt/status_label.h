// The status line of the main window.
#pragma once

#include <QLabel>
#include <string>

#include "frontend/common/repaint_pacer.h"
#include "model/controls.h"

namespace tidwen::qt {

// A label whose caption is bytes, and whose accessible name is the caption
// shown (or "状态" while it is empty). SetCaption only stores; the widget shows
// the caption at the next paced Refresh() or when control returns to the
// event loop, so a scan that sets a caption per file lays out text only as
// often as the screen is actually painted.
class StatusLabel : public QLabel, public LabelControl, private PacedControl {
  Q_OBJECT

 public:
  StatusLabel(RepaintPacer& pacer, QWidget* parent = nullptr);
  ~StatusLabel() override;

  void SetVisible(bool visible) override { setVisible(visible); }
  bool Visible() const override { return !isHidden(); }
  void SetCaption(std::string_view caption) override;
  std::string Caption() const override { return caption_; }
  void Refresh() override { pacer_.Request(*this); }
  // Shows the caption last set, if it does not show yet.
  void Sync() { ShowCaption(); }

 private:
  void PaintNow() override;
  void ShowCaption();

  RepaintPacer& pacer_;
  std::string caption_;
  bool stale_ = false;
  bool showPosted_ = false;
};

}  // namespace tidwen::qt
