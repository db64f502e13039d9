// Message boxes as real modal dialogs.
#pragma once

#include <QPointer>
#include <QWidget>

#include "model/services.h"

namespace tidwen::qt {

// Shows each box as an application-modal QMessageBox over the parent window
// and returns the button pressed. Closing a Yes/No box without answering
// counts as No; closing an OK box counts as OK.
class QtMessageBoxService : public MessageBoxService {
 public:
  explicit QtMessageBoxService(QWidget* parent = nullptr) : parent_(parent) {}
  int MsgBox(std::string_view text, MsgBoxButtons buttons, MsgBoxIcon icon,
             std::string_view title) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace tidwen::qt
