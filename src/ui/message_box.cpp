#include "ui/message_box.h"

#include <QMessageBox>

#include "model/display_text.h"

namespace tidwen {

int QtMessageBoxService::MsgBox(std::string_view text, MsgBoxButtons buttons, MsgBoxIcon icon,
                                std::string_view title) {
  QMessageBox box(parent_);
  box.setWindowTitle(QString::fromStdString(
      DisplayText(title.empty() ? kApplicationTitle : title)));
  // Texts carry paths: show them as they are, never as markup.
  box.setTextFormat(Qt::PlainText);
  box.setText(QString::fromStdString(DisplayText(text)));
  box.setIcon(icon == MsgBoxIcon::kExclamation ? QMessageBox::Warning : QMessageBox::NoIcon);
  if (buttons == MsgBoxButtons::kYesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
  }
  box.exec();
  switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Yes:
      return kMsgBoxYes;
    case QMessageBox::No:
      return kMsgBoxNo;
    default:
      return buttons == MsgBoxButtons::kYesNo ? kMsgBoxNo : kMsgBoxOk;
  }
}

}  // namespace tidwen
